#include "gui/Unit_ResetPassword.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace orb
{

TForm_ResetPassword::TForm_ResetPassword(QWidget* Parent) : TQtForm("TForm_ResetPassword", Parent)
{
    setWindowTitle("Password Reset");
    setFixedSize(280, 200);
    auto row = [this](const char* LabelName, const char* EditName, const char* Caption, int Y, QLabel*& Label,
                      QLineEdit*& Edit) {
        Label = new QLabel(Caption, this);
        Label->setObjectName(LabelName);
        Label->setGeometry(12, Y, 256, 16);
        Edit = new QLineEdit(this);
        Edit->setObjectName(EditName);
        Edit->setGeometry(12, Y + 18, 256, 24);
    };
    row("Label_ResetCode", "Edit_ResetCode", "Reset Code", 8, Label_ResetCode, Edit_ResetCode);
    row("Label_NewPassword", "Edit_NewPassword", "New Password", 56, Label_NewPassword, Edit_NewPassword);
    row("Label_ConfirmPassword", "Edit_ConfirmPassword", "Confirm Password", 104, Label_ConfirmPassword,
        Edit_ConfirmPassword);
    Edit_NewPassword->setEchoMode(QLineEdit::Password);
    Edit_ConfirmPassword->setEchoMode(QLineEdit::Password);

    Panel_Bottom = new QFrame(this);
    Panel_Bottom->setObjectName("Panel_Bottom");
    Panel_Bottom->setFrameShape(QFrame::StyledPanel);
    Panel_Bottom->setGeometry(0, 160, 280, 40);
    Button_Cancel = new QPushButton("Cancel", Panel_Bottom);
    Button_Cancel->setObjectName("Button_Cancel");
    Button_Cancel->setGeometry(60, 8, 75, 24);
    Button_Cancel->setAutoDefault(false);
    Button_Reset = new QPushButton("Reset", Panel_Bottom);
    Button_Reset->setObjectName("Button_Reset");
    Button_Reset->setGeometry(145, 8, 75, 24);
    Button_Reset->setDefault(true);
    connect(Button_Cancel, &QPushButton::clicked, this, [this] { reject(); });
    connect(Button_Reset, &QPushButton::clicked, this, [this] { Guarded([this] { Button_ResetClick(); }); });
    // Each caption's mnemonic reaches its box; Enter resets, Escape cancels.
    Label_ResetCode->setBuddy(Edit_ResetCode);
    Label_NewPassword->setBuddy(Edit_NewPassword);
    Label_ConfirmPassword->setBuddy(Edit_ConfirmPassword);
    AssignMnemonics({Label_ResetCode, Label_NewPassword, Label_ConfirmPassword, Button_Reset, Button_Cancel});
    FinishCreate(false);
}

bool TForm_ResetPassword::ShowModal(TResetPasswordInput& Input)
{
    FInput = &Input;
    Edit_ResetCode->setText(QString::fromStdString(Input.Edit_ResetCode));
    Edit_NewPassword->setText(QString::fromStdString(Input.Edit_NewPassword));
    Edit_ConfirmPassword->setText(QString::fromStdString(Input.Edit_ConfirmPassword));
    if (auto* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    Edit_ResetCode->setFocus();
    const bool ok = exec() == QDialog::Accepted;
    Input.Edit_ResetCode = Edit_ResetCode->text().toStdString();
    Input.Edit_NewPassword = Edit_NewPassword->text().toStdString();
    Input.Edit_ConfirmPassword = Edit_ConfirmPassword->text().toStdString();
    FInput = nullptr;
    return ok;
}

void TForm_ResetPassword::Button_ResetClick()
{
    if (!FInput)
        return;
    FInput->Edit_ResetCode = Edit_ResetCode->text().toStdString();
    FInput->Edit_NewPassword = Edit_NewPassword->text().toStdString();
    FInput->Edit_ConfirmPassword = Edit_ConfirmPassword->text().toStdString();
    if (FInput->Button_ResetClick())
        accept();
}

} // namespace orb
