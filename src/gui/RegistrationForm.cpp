#include "gui/RegistrationForm.h"

#include "gui/QtComponent.h"
#include "gui/VisualField_ComboBox.h"
#include "gui/VisualField_Common.h"
#include "localisation/Unit_Language.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <cmath>
#include <numbers>

namespace orb
{

namespace
{

template <class T> T* Named(T* Widget, const char* Name)
{
    Widget->setObjectName(Name);
    return Widget;
}

QLabel* MakeLabel(QWidget* Parent, const char* Name, const char* Text, bool Bold = false, bool Centred = false)
{
    auto* label = Named(new QLabel(Text, Parent), Name);
    if (Bold)
    {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
    }
    if (Centred)
        label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    return label;
}

QFrame* Separator(QWidget* Parent, const char* Name)
{
    auto* line = Named(new QFrame(Parent), Name);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

/// Frame Index of the waiting animation: eight dots on a circle, the leading one dark and the others fading.
QPixmap SpinnerFrame(int Index)
{
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (int dot = 0; dot < 8; ++dot)
    {
        const int age = (Index - dot + 8) % 8; // 0: the leading dot
        const double angle = dot * std::numbers::pi / 4 - std::numbers::pi / 2;
        const QPointF centre(32 + 22 * std::cos(angle), 32 + 22 * std::sin(angle));
        QColor colour(42, 111, 176);
        colour.setAlpha(255 - age * 28);
        painter.setBrush(colour);
        const double radius = 6.5 - age * 0.45;
        painter.drawEllipse(centre, radius, radius);
    }
    return pixmap;
}

/// The success mark: a white tick on a green disc.
QPixmap SuccessMark()
{
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(46, 160, 67));
    painter.drawEllipse(QPointF(32, 32), 29, 29);
    QPen tick(Qt::white, 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(tick);
    painter.setBrush(Qt::NoBrush);
    QPainterPath path;
    path.moveTo(18, 33);
    path.lineTo(28, 43);
    path.lineTo(46, 22);
    painter.drawPath(path);
    return pixmap;
}

} // namespace

const std::vector<QPixmap>& TForm_Registration::ImageList()
{
    static const std::vector<QPixmap> images = [] {
        std::vector<QPixmap> list;
        for (int i = 0; i < 8; ++i)
            list.push_back(SpinnerFrame(i));
        list.push_back(SuccessMark());
        return list;
    }();
    return images;
}

TForm_Registration::TForm_Registration(QWidget* Parent) : TQtForm("TForm_Registration", Parent)
{
    setWindowTitle("New Account");
    BuildLayout();
    FollowReadingDirection(this);

    Exchange.Translator = [this](const std::string& MsgID) { return Translate(MsgID); };

    PropertyManager.LanguageSection = "Form_Registration";
    PropertyManager.LanguageStringsSection = "Form_Registration";
    PropertyManager.LanguageLoadStrings = true;
    PropertyManager.SetCommonLineSeparator("\\n");
    PropertyManager.OnLanguageAfterLoad = [this](TPropertyManager&) { PropertyManagerLanguageAfterLoad(); };
    PropertyManager.LanguageAutoLoad = altAfterCreate;
    FinishCreate(false);
    FBackCaption = Button_Back->text();
}

TForm_Registration::~TForm_Registration()
{
    // The editors go before the widgets that hold them.
    Exchange.Fields.Pages.clear();
}

void TForm_Registration::BuildLayout()
{
    resize(380, 520);
    auto* main = new QVBoxLayout(this);
    main->setContentsMargins(0, 0, 0, 0);
    main->setSpacing(0);

    Panel_Top = Named(new QWidget(this), "Panel_Top");
    Panel_Top->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    auto* top = new QVBoxLayout(Panel_Top);
    top->setContentsMargins(8, 8, 8, 4);
    top->setSpacing(4);
    Label_SystemType = MakeLabel(Panel_Top, "Label_SystemType", "System Type");
    ComboBox_SystemType = Named(new QComboBox(Panel_Top), "ComboBox_SystemType");
    Bevel_Top = Separator(Panel_Top, "Bevel_Top");
    Label_Caption = MakeLabel(Panel_Top, "Label_Caption",
                              "Please fill out the form to register. All fields are required.", false, true);
    top->addWidget(Label_SystemType);
    top->addWidget(ComboBox_SystemType);
    top->addWidget(Bevel_Top);
    top->addWidget(Label_Caption);
    main->addWidget(Panel_Top);

    ScrollBox_Fields = Named(new QScrollArea(this), "ScrollBox_Fields");
    ScrollBox_Fields->setFrameShape(QFrame::NoFrame);
    ScrollBox_Fields->setWidgetResizable(true);
    ScrollBox_Fields->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ScrollBox_Fields->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The fields themselves are the Tab stops (the area scrolls to the focused one); the area takes the focus only
    // when clicked, to scroll by keys.
    ScrollBox_Fields->setFocusPolicy(Qt::ClickFocus);
    ScrollBox_Fields->viewport()->installEventFilter(this);
    Panel_Fields = Named(new QWidget, "Panel_Fields");
    ScrollBox_Fields->setWidget(Panel_Fields);
    main->addWidget(ScrollBox_Fields, 1);

    Panel_Info = Named(new QWidget(this), "Panel_Info");
    auto* info = new QVBoxLayout(Panel_Info);
    info->setContentsMargins(12, 16, 12, 8);
    info->setSpacing(10);
    Label_Message = MakeLabel(Panel_Info, "Label_Message", "Please wait while your data is validated", true, true);
    Image = Named(new QLabel(Panel_Info), "Image");
    Image->setFixedSize(64, 64);
    Image->setAlignment(Qt::AlignCenter);
    Panel_LoginPassword = Named(new QWidget(Panel_Info), "Panel_LoginPassword");
    auto* credentials = new QGridLayout(Panel_LoginPassword);
    credentials->setContentsMargins(0, 0, 0, 0);
    Label_Login = MakeLabel(Panel_LoginPassword, "Label_Login", "Login:");
    Label_Lgn = MakeLabel(Panel_LoginPassword, "Label_Lgn", "", true);
    Label_Password = MakeLabel(Panel_LoginPassword, "Label_Password", "Password:");
    Label_Pswd = MakeLabel(Panel_LoginPassword, "Label_Pswd", "", true);
    for (QLabel* value : {Label_Lgn, Label_Pswd})
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    credentials->addWidget(Label_Login, 0, 0, Qt::AlignRight);
    credentials->addWidget(Label_Lgn, 0, 1);
    credentials->addWidget(Label_Password, 1, 0, Qt::AlignRight);
    credentials->addWidget(Label_Pswd, 1, 1);
    credentials->setColumnStretch(0, 1);
    credentials->setColumnStretch(1, 1);
    Panel_LoginPassword->hide();
    Panel_Successfull = Named(new QWidget(Panel_Info), "Panel_Successfull");
    auto* sent = new QVBoxLayout(Panel_Successfull);
    sent->setContentsMargins(0, 0, 0, 0);
    Label_SendTo =
        MakeLabel(Panel_Successfull, "Label_SendTo", "Your login and password have been sent to", false, true);
    Label_Email = MakeLabel(Panel_Successfull, "Label_Email", "", true, true);
    sent->addWidget(Label_SendTo);
    sent->addWidget(Label_Email);
    Panel_Successfull->hide();
    info->addWidget(Label_Message);
    info->addWidget(Image, 0, Qt::AlignHCenter);
    info->addWidget(Panel_LoginPassword);
    info->addWidget(Panel_Successfull);
    info->addStretch(1);
    Panel_Info->hide();
    main->addWidget(Panel_Info, 1);

    Bevel_Bottom = Separator(this, "Bevel_Bottom");
    main->addWidget(Bevel_Bottom);
    Panel_Action = Named(new QFrame(this), "Panel_Action");
    Panel_Action->setFixedHeight(41);
    main->addWidget(Panel_Action);
    Button_Back = Named(new QPushButton("Back", Panel_Action), "Button_Back");
    Label_Page = Named(new QLabel("Page 1/1", Panel_Action), "Label_Page");
    Label_Page->setAlignment(Qt::AlignCenter);
    Button_Submit = Named(new QPushButton("Submit", Panel_Action), "Button_Submit");
    for (QPushButton* button : {Button_Back, Button_Submit})
        button->setAutoDefault(false);
    Bevel_Top->hide();
    Bevel_Bottom->hide();

    Timer_Progress = Named(new QTimer(this), "Timer_Progress");
    Timer_Progress->setInterval(100);

    connect(Button_Submit, &QPushButton::clicked, this, [this] { Guarded([this] { Button_SubmitClick(); }); });
    connect(Button_Back, &QPushButton::clicked, this, [this] { Guarded([this] { Button_BackClick(); }); });
    connect(ComboBox_SystemType, &QComboBox::activated, this,
            [this](int Index) { Guarded([&] { ComboBox_SystemTypeChange(Index); }); });
    connect(Timer_Progress, &QTimer::timeout, this, [this] { Timer_ProgressTimer(); });
}

void TForm_Registration::PropertyManagerLanguageAfterLoad()
{
    FBackCaption = Button_Back->text();
    TVisualField_ComboBox::PleaseSelectText() = ToQString(Translate("PleaseSelect"));
    if (FShown)
        UpdateControls();
}

std::string TForm_Registration::Translate(const std::string& MsgID) const
{
    return PropertyManager.GetString(MsgID, "Unknown:" + MsgID);
}

std::string TForm_Registration::Translate(const std::string& MsgID, const std::vector<std::string>& Args) const
{
    return FormatTemplate(Translate(MsgID), Args);
}

void TForm_Registration::Embed(QWidget* Parent)
{
    setParent(Parent, Qt::Widget);
    setAutoFillBackground(true);
}

void TForm_Registration::FillSystemTypes()
{
    ComboBox_SystemType->clear();
    for (const auto& entry : Exchange.Entries)
        ComboBox_SystemType->addItem(ToQString(entry->Attributes("name")));
    ComboBox_SystemType->setCurrentIndex(ComboBox_SystemType->count() > 0 ? 0 : -1);
}

void TForm_Registration::FormShow()
{
    TVisualField_Common::CaptionFont() = Label_Caption->font();
    TVisualField_ComboBox::PleaseSelectText() = ToQString(Translate("PleaseSelect"));
    FClosedWithOk = false;
    FTag = 0;
    Button_Back->setText(FBackCaption);
    FillSystemTypes();
    Exchange.FormShow();
}

bool TForm_Registration::FormCloseQuery()
{
    return Exchange.FormCloseQuery();
}

void TForm_Registration::Button_SubmitClick()
{
    Exchange.Button_SubmitClick();
}

void TForm_Registration::Button_BackClick()
{
    Exchange.Button_BackClick();
}

void TForm_Registration::ComboBox_SystemTypeChange(int Index)
{
    ScrollBox_Fields->setFocus();
    if (!Exchange.ComboBox_SystemTypeChange(Index))
    {
        // The change was refused (a request is on its way, or the type is locked): the box shows the type in use.
        const QSignalBlocker blocker(ComboBox_SystemType);
        ComboBox_SystemType->setCurrentIndex(Exchange.SystemTypeIndex());
    }
}

void TForm_Registration::Timer_ProgressTimer()
{
    const auto& images = ImageList();
    Image->setPixmap(images[static_cast<size_t>(FTag)]);
    FTag = (FTag + 1) % 8;
}

void TForm_Registration::ScrollBox_FieldsMouseWheelUp()
{
    QScrollBar* bar = ScrollBox_Fields->verticalScrollBar();
    bar->setValue(bar->value() - 8);
}

void TForm_Registration::ScrollBox_FieldsMouseWheelDown()
{
    QScrollBar* bar = ScrollBox_Fields->verticalScrollBar();
    bar->setValue(bar->value() + 8);
}

std::unique_ptr<IVisualFields> TForm_Registration::CreateVisualFields(TBundleFields& Page)
{
    ScrollBox_Fields->setUpdatesEnabled(false);
    auto editors = std::make_unique<TVisualFields>(Page, Panel_Fields);
    ScrollBox_Fields->verticalScrollBar()->setValue(0);
    ScrollBox_Fields->setUpdatesEnabled(true);
    ScrollBox_Fields->update();
    // Every editor's wheel goes to the form (eventFilter).
    for (QWidget* child : ScrollBox_Fields->viewport()->findChildren<QWidget*>())
        child->installEventFilter(this);
    return editors;
}

void TForm_Registration::ShowCaption(const std::string& Text)
{
    Label_Caption->setText(ToQString(Text));
}

void TForm_Registration::ShowMessage(const std::string& Text)
{
    Label_Message->setText(ToQString(Text));
}

void TForm_Registration::CloseWindow(bool Ok)
{
    FClosedWithOk = Ok;
    FCloseAllowed = true;
    if (isWindow())
        done(Ok ? QDialog::Accepted : QDialog::Rejected);
    else
        hide();
    FCloseAllowed = false;
    if (OnRegistrationClose)
        OnRegistrationClose(*this, Ok);
}

void TForm_Registration::UpdateControls()
{
    const TRegistrationControls c = Exchange.Controls();
    Button_Back->setVisible(c.BackVisible);
    Label_Page->setText(ToQString(c.PageText));
    Panel_Info->setVisible(c.InfoVisible);
    ScrollBox_Fields->setVisible(!c.InfoVisible);
    Label_Page->setVisible(c.PageVisible);
    Label_Caption->setVisible(c.CaptionVisible);
    Image->setVisible(c.ImageVisible);
    Button_Submit->setText(ToQString(c.SubmitCaption));
    ComboBox_SystemType->setEnabled(c.SystemTypeEnabled);
    if (ComboBox_SystemType->currentIndex() != Exchange.SystemTypeIndex())
    {
        // The box always shows the type the exchange registers.
        const QSignalBlocker blocker(ComboBox_SystemType);
        ComboBox_SystemType->setCurrentIndex(Exchange.SystemTypeIndex());
    }
    Bevel_Top->setVisible(c.SeparatorsVisible);
    Bevel_Bottom->setVisible(c.SeparatorsVisible);
    Button_Submit->setVisible(c.SubmitVisible);
    Button_Back->setText(c.BackCaption.empty() ? FBackCaption : ToQString(c.BackCaption));
    FBackCentred = c.BackCentred;
    if (c.ImageIndex >= 0 && c.ImageIndex < static_cast<int>(ImageList().size()))
        Image->setPixmap(ImageList()[static_cast<size_t>(c.ImageIndex)]);
    Label_Lgn->setText(ToQString(c.Login));
    Label_Pswd->setText(ToQString(c.Password));
    Panel_LoginPassword->setVisible(c.LoginPasswordVisible);
    Panel_Successfull->setVisible(c.SuccessfullVisible);
    Label_Email->setText(ToQString(c.Email));
    if (c.TimerRunning && !Timer_Progress->isActive())
    {
        FTag = 0;
        Timer_ProgressTimer();
        Timer_Progress->start();
    }
    else if (!c.TimerRunning)
        Timer_Progress->stop();
    Panel_Action->setVisible(c.ActionVisible);
    Label_Message->setText(ToQString(c.MessageText));
    QFont message = Label_Message->font();
    message.setBold(c.MessageBold);
    Label_Message->setFont(message);
    if (c.ResetCaption)
        Label_Caption->setText(ToQString(c.CaptionText));
    PlaceActionButtons();
    if (ScrollBox_Fields->isVisibleTo(this) && isVisible())
        ScrollBox_Fields->setFocus();
}

void TForm_Registration::PlaceActionButtons()
{
    const int strip = Panel_Action->width();
    const int height = 26;
    const int top = (Panel_Action->height() - height) / 2;
    auto fit = [](QPushButton* Button) {
        return std::max(90, Button->fontMetrics().horizontalAdvance(Button->text()) + 24);
    };
    const int backWidth = fit(Button_Back);
    const int submitWidth = fit(Button_Submit);
    // Placed for left to right; a right-to-left language mirrors them.
    if (FBackCentred)
        SetDesignGeometry(Button_Back, QRect(static_cast<int>(std::lround((backWidth + strip) / 2.0)) - backWidth, top,
                                             backWidth, height));
    else
        SetDesignGeometry(Button_Back, QRect(8, top, backWidth, height));
    SetDesignGeometry(Button_Submit, QRect(strip - 8 - submitWidth, top, submitWidth, height));
    SetDesignGeometry(Label_Page, QRect(8 + backWidth, top, std::max(0, strip - 16 - backWidth - submitWidth), height));
}

void TForm_Registration::changeEvent(QEvent* Event)
{
    TQtForm::changeEvent(Event);
    if (Event->type() == QEvent::LayoutDirectionChange)
        FollowReadingDirection(this);
}

void TForm_Registration::resizeEvent(QResizeEvent* Event)
{
    TQtForm::resizeEvent(Event);
    PlaceActionButtons();
}

bool TForm_Registration::eventFilter(QObject* Watched, QEvent* Event)
{
    // A wheel step anywhere over the fields, editors included, scrolls the form: a user scrolling past a drop-down
    // or a date must not change it. An open drop-down list is a window of its own and keeps its wheel.
    const auto* widget = Event->type() == QEvent::Wheel ? qobject_cast<const QWidget*>(Watched) : nullptr;
    if (widget && (widget == ScrollBox_Fields->viewport() || ScrollBox_Fields->viewport()->isAncestorOf(widget)))
    {
        const int delta = static_cast<QWheelEvent*>(Event)->angleDelta().y();
        if (delta < 0)
            ScrollBox_FieldsMouseWheelDown();
        else if (delta > 0)
            ScrollBox_FieldsMouseWheelUp();
        return true;
    }
    return TQtForm::eventFilter(Watched, Event);
}

void TForm_Registration::showEvent(QShowEvent* Event)
{
    TQtForm::showEvent(Event);
    // Shown again after being hidden or closed: a new registration (not when only a parent came back).
    if (!FShown)
    {
        FShown = true;
        PlaceActionButtons();
        Guarded([this] { FormShow(); });
    }
}

void TForm_Registration::hideEvent(QHideEvent* Event)
{
    TQtForm::hideEvent(Event);
    if (isHidden())
        FShown = false;
}

void TForm_Registration::closeEvent(QCloseEvent* Event)
{
    if (!FCloseAllowed && !FormCloseQuery())
    {
        Event->ignore();
        return;
    }
    FCloseAllowed = true;
    TQtForm::closeEvent(Event);
    FCloseAllowed = false;
}

void TForm_Registration::reject()
{
    if (!FCloseAllowed && !FormCloseQuery())
        return;
    TQtForm::reject();
}

void TForm_Registration::keyPressEvent(QKeyEvent* Event)
{
    // Elsewhere Enter goes Back and Escape submits, as the window was designed.
    const int key = Event->key();
    // Both keys end here: embedded in the login window they must not reach its Login button.
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
    {
        // Enter on a focused button presses that button, as everywhere on the desktop.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget());
            button && isAncestorOf(button) && button->isVisible() && button->isEnabled())
        {
            button->click();
            return;
        }
        if (Button_Back->isVisible() && Button_Back->isEnabled())
            Button_Back->click();
        return;
    }
    if (key == Qt::Key_Escape)
    {
        if (Button_Submit->isVisible() && Button_Submit->isEnabled())
            Button_Submit->click();
        return;
    }
    TQtForm::keyPressEvent(Event);
}

} // namespace orb
