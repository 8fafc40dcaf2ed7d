#include "gui/Unit_SmartException.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

namespace orb
{

TForm_SmartException::TForm_SmartException(const std::string& LanguageFile, QWidget* Parent)
    : TQtForm("TForm_SmartException", Parent)
{
    // Only the system menu and close button; the report stays above the application's other windows.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    resize(352, 147);

    Image = new QLabel(this);
    Image->setObjectName("Image");
    Image->setAlignment(Qt::AlignCenter);
    Image->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));

    Label_Info = new QLabel(this);
    Label_Info->setObjectName("Label_Info");
    Label_Info->setTextFormat(Qt::PlainText);
    Label_Info->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Label_Info->setTextInteractionFlags(Qt::TextSelectableByMouse);

    Memo = new QPlainTextEdit(this);
    Memo->setObjectName("Memo");
    Memo->setReadOnly(true);
    // Read-only, yet the keyboard can move through the report and select it: the caret shows where the focus is.
    Memo->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    // A thin frame that takes the highlight colour while the report has the focus, in every skin.
    Memo->setStyleSheet("QPlainTextEdit#Memo { border: 1px solid palette(mid); }"
                        "QPlainTextEdit#Memo:focus { border: 1px solid palette(highlight); }");
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    QPalette palette = Memo->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    Memo->setPalette(palette);
    Memo->hide();

    PropertyManager.LanguageFile = LanguageFile;
    PropertyManager.LanguageSection = "Form_SmartException";
    PropertyManager.LanguageStringsSection = "Form_SmartException";
    PropertyManager.LanguageLoadStrings = true;
    PropertyManager.SetCommonLineSeparator("\\n");
    PropertyManager.LanguageComponentIngnoreList = {"Caption"};
    FinishCreate(false);

    Panel_Action = new QWidget(this);
    Panel_Action->setObjectName("Panel_Action");
    PropertyManager.LoadLanguage(true, true, false);
    View.GetString = [this](const std::string& ID, const std::string& Default) {
        return PropertyManager.GetString(ID, Default);
    };

    // Created after the translation, as the report's own buttons are not in the language section.
    auto button = [this](const char* Name) {
        auto* b = new QPushButton(QString::fromUtf8(Name), Panel_Action);
        b->setObjectName(QString::fromUtf8(Name));
        b->resize(ButtonWidth, ButtonHeight);
        b->setAutoDefault(false);
        return b;
    };
    Button_Details = button("Details");
    Button_Copy = button("Copy");
    Button_OK = button("OK");
    View.CreateButtons();
    View.ShowSimple();
    Button_Copy->setText(ToQString(View.CopyCaption));
    Button_Details->setText(ToQString(View.DetailsCaption));
    Button_OK->setDefault(true);
    connect(Button_Details, &QPushButton::clicked, this, [this] { Guarded([this] { Button_DetailsClick(); }); });
    connect(Button_Copy, &QPushButton::clicked, this, [this] { Guarded([this] { Button_CopyClick(); }); });
    connect(Button_OK, &QPushButton::clicked, this, [this] { Guarded([this] { Button_OkClick(); }); });
    LayOut();
    LanguageLoaded();
}

void TForm_SmartException::LanguageLoaded()
{
    TQtForm::LanguageLoaded();
    if (Memo)
        Memo->setAccessibleName(StripMnemonic(ToQString(PropertyManager.GetString("Details", "Details"))));
}

void TForm_SmartException::Report(const std::string& Sender, const std::exception_ptr& E)
{
    SmartExceptionReport().MakeException(Sender, E, true, "");
    UpdateFromReport();
    ShowSimple();
}

void TForm_SmartException::UpdateFromReport()
{
    const auto& report = SmartExceptionReport();
    Label_Info->setText(ToQString(report.LabelInfo));
    QStringList lines;
    for (const auto& entry : report.Memo)
        lines.push_back(ToQString(entry));
    Memo->setPlainText(lines.join('\n'));
}

QRect TForm_SmartException::WorkArea() const
{
    QScreen* screen = MainWindow ? MainWindow->screen() : QGuiApplication::screenAt(QPoint(0, 0));
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

void TForm_SmartException::Centre()
{
    const QRect area = WorkArea();
    move(TSmartExceptionView::Centre(area.left(), area.width(), width()),
         TSmartExceptionView::Centre(area.top(), area.height(), height()));
}

void TForm_SmartException::ShowIfHidden()
{
    if (!isVisible())
        exec();
}

void TForm_SmartException::ShowSimple()
{
    View.ShowSimple();
    Memo->hide();
    Label_Info->show();
    Label_Info->adjustSize();
    const auto size =
        TSmartExceptionView::SimpleSize(ImageWidth, Label_Info->width(), Label_Info->height(), PanelHeight);
    resize(size.Width, size.Height);
    Button_Details->setText(ToQString(View.DetailsCaption));
    Button_Details->setAccessibleName(StripMnemonic(Button_Details->text()));
    LayOut();
    Centre();
    ShowIfHidden();
}

void TForm_SmartException::ShowDetails()
{
    View.ShowDetails();
    Memo->show();
    Label_Info->hide();
    Button_Details->setText(ToQString(View.DetailsCaption));
    Button_Details->setAccessibleName(StripMnemonic(Button_Details->text()));
    const QRect area = WorkArea();
    const auto size = TSmartExceptionView::DetailsSize(width(), area.width(), area.height());
    resize(size.Width, size.Height);
    LayOut();
    Centre();
    ShowIfHidden();
}

void TForm_SmartException::Button_DetailsClick()
{
    if (Memo->isVisible() || View.DetailsVisible)
        ShowSimple();
    else
        ShowDetails();
}

void TForm_SmartException::Button_CopyClick()
{
    // The report's own line breaks (CR LF) go onto the clipboard unchanged: it is pasted into mails and tickets.
    QGuiApplication::clipboard()->setText(QString::fromStdString(SmartExceptionReport().MemoText()));
}

void TForm_SmartException::Button_OkClick()
{
    accept();
}

void TForm_SmartException::showEvent(QShowEvent* Event)
{
    setWindowTitle(QApplication::applicationName() + " Exception");
    setMinimumSize(TSmartExceptionView::MinimumSize.Width, TSmartExceptionView::MinimumSize.Height);
    QApplication::beep();
    TQtForm::showEvent(Event);
}

void TForm_SmartException::resizeEvent(QResizeEvent* Event)
{
    TQtForm::resizeEvent(Event);
    LayOut();
}

void TForm_SmartException::LayOut()
{
    if (!Panel_Action)
        return;
    const int w = width();
    const int h = height();
    // Placed for left-to-right text; a right-to-left language mirrors the places.
    SetDesignGeometry(Panel_Action, QRect(0, h - PanelHeight, w, PanelHeight));
    // Anchored to the top right: Details rightmost, OK leftmost.
    int n = 1;
    for (QPushButton* button : {Button_Details, Button_Copy, Button_OK})
        SetDesignGeometry(button,
                          QRect(TSmartExceptionView::ButtonLeft(w, ButtonWidth, n++), 8, ButtonWidth, ButtonHeight));
    SetDesignGeometry(Image, QRect(0, 0, ImageWidth, h - PanelHeight));
    if (Label_Info->isVisibleTo(this))
        SetDesignGeometry(Label_Info, QRect(ImageWidth, 0, w - ImageWidth, h - PanelHeight));
    SetDesignGeometry(Memo, QRect(ImageWidth, 0, w - ImageWidth, h - PanelHeight));
}

} // namespace orb
