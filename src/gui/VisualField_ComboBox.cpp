#include "gui/VisualField_ComboBox.h"

#include "gui/QtComponent.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QKeyEvent>
#include <QLayout>

namespace orb
{

QString& TVisualField_ComboBox::PleaseSelectText()
{
    static QString text = QStringLiteral("Please select");
    return text;
}

TVisualField_ComboBox::TVisualField_ComboBox(TRField* AField, QWidget* Parent) : TVisualField_Common(AField, Parent)
{
    ComboBox_Value = new QComboBox(Panel_Value);
    ComboBox_Value->setObjectName("ComboBox_Value");
    ComboBox_Value->setEditable(false);
    ComboBox_Value->installEventFilter(this);
    ComboBox_Value->view()->installEventFilter(this);
    Panel_Value->layout()->addWidget(ComboBox_Value);
    FinishCreate();
    connect(ComboBox_Value, &QComboBox::currentIndexChanged, this, [this] { ClearWarning(); });
}

void TVisualField_ComboBox::UpdateUI()
{
    QPalette palette = ComboBox_Value->palette();
    palette.setColor(QPalette::PlaceholderText, QColor(128, 128, 128));
    ComboBox_Value->setPalette(palette);
    TVisualField_Common::UpdateUI();
}

void TVisualField_ComboBox::GetFromVariable()
{
    ComboBox_Value->clear();
    ComboBox_Value->setPlaceholderText(PleaseSelectText());
    const std::string current = Field->CurrentValue();
    int selected = -1;
    for (const auto& entry : *Field->Value)
    {
        if (selected < 0 && entry.Key == current)
            selected = ComboBox_Value->count();
        ComboBox_Value->addItem(ToQString(entry.Value));
    }
    ComboBox_Value->setCurrentIndex(selected);
}

void TVisualField_ComboBox::SetToVariable()
{
    if (ComboBox_Value->currentIndex() < 0)
        return;
    const std::string text = FromQString(ComboBox_Value->currentText());
    for (const auto& entry : *Field->Value)
        if (entry.Value == text)
        {
            Field->SetCurrentValue(entry.Key);
            return;
        }
}

void TVisualField_ComboBox::SetHint(const QString& /*Hint*/)
{
    ComboBox_Value->setToolTip(ToQString(Field->Hint));
}

bool TVisualField_ComboBox::eventFilter(QObject* Watched, QEvent* Event)
{
    // A non-editable list would pick the item a typed letter starts; here typing only opens the list.
    if ((Watched == ComboBox_Value || Watched == ComboBox_Value->view()) && Event->type() == QEvent::KeyPress)
    {
        const auto* key = static_cast<QKeyEvent*>(Event);
        if (!key->text().isEmpty() && key->text().at(0).isPrint())
        {
            if (Watched == ComboBox_Value)
                ComboBox_Value->showPopup();
            return true;
        }
    }
    return TVisualField_Common::eventFilter(Watched, Event);
}

} // namespace orb
