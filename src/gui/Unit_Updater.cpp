#include "gui/Unit_Updater.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace orb
{

namespace
{

QLabel* MakeLabel(QWidget* Parent, const char* Name, const char* Text, int Left, int Top, int Width = 0)
{
    auto* label = new QLabel(QString::fromUtf8(Text), Parent);
    label->setObjectName(QString::fromUtf8(Name));
    label->move(Left, Top);
    if (Width > 0)
        label->resize(Width, label->sizeHint().height());
    else
        label->adjustSize();
    return label;
}

QProgressBar* MakeBar(QWidget* Parent, const char* Name, int Top)
{
    auto* bar = new QProgressBar(Parent);
    bar->setObjectName(QString::fromUtf8(Name));
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    bar->setGeometry(131, Top, 189, 13);
    return bar;
}

} // namespace

TForm_Updater::TForm_Updater(QWidget* Parent) : TQtModalWaitForm("TForm_Updater", Parent)
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint);
    setWindowTitle("Update Progress");
    setFixedSize(330, 176);

    // Data labels reach to the right margin; a long file name is cut there rather than widening the window.
    Label_UpdatingFileCaption = MakeLabel(this, "Label_UpdatingFileCaption", "Updating File:", 7, 13);
    Label_UpdatingFile = MakeLabel(this, "Label_UpdatingFile", "", 131, 13, 330 - 131 - 7);
    Bevel1 = new QFrame(this);
    Bevel1->setObjectName("Bevel1");
    Bevel1->setProperty("orbClassName", "TBevel");
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(7, 33, 313, 2);
    Label_FileProgressCaption = MakeLabel(this, "Label_FileProgressCaption", "File progress:", 7, 52);
    Label_FileProgress = MakeLabel(this, "Label_FileProgress", "", 131, 46, 189);
    ProgressBar_File = MakeBar(this, "ProgressBar_File", 65);
    Label_TotalProgressCaption = MakeLabel(this, "Label_TotalProgressCaption", "Total progress:", 7, 104);
    Label_TotalProgress = MakeLabel(this, "Label_TotalProgress", "", 131, 91, 189);
    ProgressBar_Total = MakeBar(this, "ProgressBar_Total", 111);
    for (auto* label : {Label_FileProgress, Label_TotalProgress})
        label->resize(189, 17);

    Panel_Action = new QFrame(this);
    Panel_Action->setObjectName("Panel_Action");
    Panel_Action->setFrameShape(QFrame::StyledPanel);
    Panel_Action->setFrameShadow(QFrame::Raised);
    Panel_Action->setGeometry(0, 176 - 36, 330, 36);
    Button_Cancel = new QPushButton("Cancel", Panel_Action);
    Button_Cancel->setObjectName("Button_Cancel");
    Button_Cancel->setGeometry(131, 8, 73, 23);
    Button_Cancel->setAutoDefault(false);
    connect(Button_Cancel, &QPushButton::clicked, this, [this] { Guarded([this] { Button_CancelClick(); }); });
    // The bars are named by their captions for assistive technology.
    Label_FileProgressCaption->setBuddy(ProgressBar_File);
    Label_TotalProgressCaption->setBuddy(ProgressBar_Total);

    PropertyManager.LanguageSection = "Form_Updater";
    PropertyManager.LanguageStringsSection = "Strings";
    PropertyManager.SetCommonLineSeparator("\\n");
    PropertyManager.LanguageAutoLoad = altAfterCreate;
    PropertyManager.LanguageComponentIngnoreList = {"Label_UpdatingFile.Caption", "Label_FileProgress.Caption",
                                                    "Label_TotalProgress.Caption"};
    FinishCreate(true);
}

void TForm_Updater::Button_CancelClick()
{
    RunCancel();
}

void TForm_Updater::SetUpdatingFile(const std::string& FileName)
{
    Label_UpdatingFile->setText(ToQString(FileName));
}

void TForm_Updater::SetFileProgress(const std::string& Text, int Position)
{
    Label_FileProgress->setText(ToQString(Text));
    ProgressBar_File->setValue(Position);
}

void TForm_Updater::SetTotalProgress(const std::string& Text, int Position)
{
    Label_TotalProgress->setText(ToQString(Text));
    ProgressBar_Total->setValue(Position);
}

void TForm_Updater::SetLoginWindowVisible(bool Visible)
{
    if (LoginWindow)
        LoginWindow->setVisible(Visible);
}

} // namespace orb
