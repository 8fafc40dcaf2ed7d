#include "gui/VisualField_CheckBox.h"

#include "base/Views.h"
#include "gui/QtComponent.h"
#include "gui/SkinPackage.h"
#include "gui/WebDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QLabel>
#include <QLayout>
#include <QVBoxLayout>

namespace orb
{

TVisualField_CheckBox::TOpenLink& TVisualField_CheckBox::OpenLink()
{
    static TOpenLink open = [](QWidget* Owner, const QString& Caption, const QString& URL) {
        return ShowWebDialog(Owner, Caption, URL);
    };
    return open;
}

TVisualField_CheckBox::TVisualField_CheckBox(TRField* AField, QWidget* Parent) : TVisualField_Common(AField, Parent)
{
    // The red panel sits behind the value area, 2 pixels outside it on every side.
    layout()->setContentsMargins(2, 2, 2, 2);
    Panel_Warning = new QFrame(this);
    Panel_Warning->setObjectName("Panel_Warning");
    Panel_Warning->setAutoFillBackground(true);
    QPalette red = Panel_Warning->palette();
    red.setColor(QPalette::Window, QColor(255, 0, 0));
    Panel_Warning->setPalette(red);
    Panel_Warning->hide();

    // The value area is opaque, so that only the 2-pixel rim of the panel behind it shows.
    Panel_Value->setAutoFillBackground(true);
    CheckBox_Value = new QCheckBox(Panel_Value);
    CheckBox_Value->setObjectName("CheckBox_Value");
    Label_Value = new QLabel(QStringLiteral("Link"), Panel_Value);
    Label_Value->setObjectName("Label_Value");
    Label_Value->setCursor(Qt::PointingHandCursor);
    QFont link = Label_Value->font();
    link.setUnderline(true);
    Label_Value->setFont(link);
    Label_Value->installEventFilter(this);
    // The caption wraps beside the box, the link under it: long declarations fit a narrow page.
    Label_CheckBoxCaption = new QLabel(Panel_Value);
    Label_CheckBoxCaption->setObjectName("Label_CheckBoxCaption");
    Label_CheckBoxCaption->setWordWrap(true);
    // Level with the box, also while the label is taller than its lines.
    Label_CheckBoxCaption->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    Label_CheckBoxCaption->installEventFilter(this);
    Label_Value->setWordWrap(true);
    auto* row = static_cast<QHBoxLayout*>(Panel_Value->layout());
    row->addWidget(CheckBox_Value, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(Label_CheckBoxCaption);
    texts->addWidget(Label_Value);
    row->addLayout(texts, 1);
    FinishCreate();

    const TValuePair* first = Field->Value && !Field->Value->empty() ? &Field->Value->front() : nullptr;
    Label_Value->setVisible(first && !first->Key.empty());
    if (first)
        Label_Value->setText(ToQString(first->Value));
    QPalette linkPalette = Label_Value->palette();
    const QColor linkColour = QApplication::palette().color(QPalette::Link);
    for (auto group : {QPalette::Active, QPalette::Inactive})
        linkPalette.setColor(group, QPalette::WindowText, linkColour.isValid() ? linkColour : QColor(Qt::blue));
    Label_Value->setPalette(linkPalette);
    Label_Value->setProperty(LinkLabelProperty, true);
    // The caption moves onto the check box.
    Label_Caption->hide();
    Label_CheckBoxCaption->setText(Label_Caption->text());
    Label_CheckBoxCaption->setFont(Label_Caption->font());
    CheckBox_Value->setAccessibleName(Label_Caption->text());
    connect(CheckBox_Value, &QCheckBox::clicked, this, [this] { ClearWarning(); });
    UpdateUI();
}

void TVisualField_CheckBox::SetToVariable()
{
    Field->SetCurrentValue(CheckBox_Value->isChecked() ? "true" : "false");
}

void TVisualField_CheckBox::GetFromVariable()
{
    CheckBox_Value->setChecked(Field->CurrentValue() == "true");
}

void TVisualField_CheckBox::SetHint(const QString& /*Hint*/)
{
    CheckBox_Value->setToolTip(ToQString(Field->Hint));
}

void TVisualField_CheckBox::UpdateUI()
{
    setToolTip(ToQString(Field->WarningHint));
    Panel_Warning->setVisible(Field->Warning);
    PlaceWarning();
}

void TVisualField_CheckBox::PlaceWarning()
{
    Panel_Warning->setGeometry(Panel_Value->geometry().adjusted(-2, -2, 2, 2));
    Panel_Warning->lower();
}

void TVisualField_CheckBox::resizeEvent(QResizeEvent* Event)
{
    TVisualField_Common::resizeEvent(Event);
    PlaceWarning();
}

void TVisualField_CheckBox::Label_ValueClick()
{
    if (!Field->Value || Field->Value->empty() || Field->Value->front().Key.empty())
        return;
    const TValuePair& entry = Field->Value->front();
    OpenLink()(this, ToQString(entry.Value), ToQString(entry.Key));
}

bool TVisualField_CheckBox::eventFilter(QObject* Watched, QEvent* Event)
{
    // The caption belongs to the box: a click on it ticks the box as a click on the box's own text would.
    if (Watched == Label_CheckBoxCaption && Event->type() == QEvent::MouseButtonRelease)
    {
        CheckBox_Value->click();
        return true;
    }
    if (Watched == Label_Value && Event->type() == QEvent::MouseButtonRelease)
    {
        // Qt cannot carry an error out of an event filter: it goes to the exception report here.
        try
        {
            Label_ValueClick();
        }
        catch (...)
        {
            try
            {
                Dialogs().ShowException("TVisualField_CheckBox", std::current_exception());
            }
            catch (...)
            {
                // No dialogs installed: nothing can show the report.
            }
        }
        return true;
    }
    return TVisualField_Common::eventFilter(Watched, Event);
}

} // namespace orb
