#include "gui/Unit_Progress.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace orb
{

TForm_Progress::TForm_Progress(QWidget* Parent) : TQtModalWaitForm("TForm_Progress", Parent)
{
    // No title-bar buttons: only the request's end or Cancel leaves this window.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle("Server Connection Information");
    setFixedSize(255, 81);
    setMinimumWidth(250);

    Image = new QLabel(this);
    Image->setObjectName("Image");
    Image->setGeometry(0, 0, 53, 45);
    Image->setAlignment(Qt::AlignCenter);
    Image->setPixmap(QApplication::windowIcon().pixmap(32, 32));

    Label_Status = new QLabel("Connect to server ...", this);
    Label_Status->setObjectName("Label_Status");
    Label_Status->setGeometry(53, 0, 255 - 53 - 8, 45);
    Label_Status->setWordWrap(true);
    Label_Status->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    Panel_Action = new QFrame(this);
    Panel_Action->setObjectName("Panel_Action");
    Panel_Action->setFrameShape(QFrame::StyledPanel);
    Panel_Action->setFrameShadow(QFrame::Raised);
    Panel_Action->setGeometry(0, 81 - 36, 255, 36);

    Button_Break = new QPushButton("Cancel", Panel_Action);
    Button_Break->setObjectName("Button_Break");
    Button_Break->setGeometry((255 - 73) / 2, 6, 73, 23);
    Button_Break->setAutoDefault(false);
    connect(Button_Break, &QPushButton::clicked, this, [this] { Guarded([this] { Button_BreakClick(); }); });

    PropertyManager.LanguageSection = "Form_Progress";
    PropertyManager.LanguageStringsSection = "Strings";
    PropertyManager.SetCommonLineSeparator("\\n");
    PropertyManager.LanguageAutoLoad = altAfterCreate;
    FinishCreate(true);
}

void TForm_Progress::Button_BreakClick()
{
    RunCancel();
}

void TForm_Progress::showEvent(QShowEvent* Event)
{
    TQtModalWaitForm::showEvent(Event);
    if (OnShown)
        QTimer::singleShot(0, this, [this] {
            if (OnShown && isVisible())
                OnShown(*this);
        });
}

} // namespace orb
