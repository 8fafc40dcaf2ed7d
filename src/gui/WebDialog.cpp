#include "gui/WebDialog.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineView>

namespace orb
{

TForm_IEBrowser::TForm_IEBrowser(QWidget* Owner, const QString& Caption, const QString& URL)
    : QDialog(Owner, Qt::Tool | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint), URL(URL)
{
    setObjectName("Form_IEBrowser");
    setWindowTitle(UpperFirst(Caption));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    WebBrowser = new QWebEngineView(this);
    WebBrowser->setObjectName("WebBrowser");
    layout->addWidget(WebBrowser);
    resize(500, 500);

    // Centred on the owner's window (the whole main window, not the control that asked), else on the screen.
    QWidget* ownerWindow = Owner ? Owner->window() : nullptr;
    const QRect area = ownerWindow ? ownerWindow->geometry()
                                   : (QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry()
                                                                       : QRect(0, 0, 500, 500));
    // The client area is placed (move() would place the frame, whose size is unknown before the first show).
    setGeometry(QRect(area.center() - rect().center(), size()));

    connect(WebBrowser, &QWebEngineView::loadFinished, this, &TForm_IEBrowser::WebBrowserDocumentComplete);
    WebBrowser->setUrl(QUrl("about:blank"));
}

TForm_IEBrowser::~TForm_IEBrowser() = default;

QString TForm_IEBrowser::UpperFirst(const QString& Caption)
{
    if (Caption.isEmpty())
        return Caption;
    // A character outside the basic plane takes two 16-bit units; both go through the case mapping together.
    const qsizetype first = Caption.at(0).isHighSurrogate() && Caption.size() > 1 ? 2 : 1;
    return Caption.left(first).toUpper() + Caption.mid(first);
}

void TForm_IEBrowser::WebBrowserDocumentComplete(bool Ok)
{
    const QUrl completed = WebBrowser->url();
    // Every page, the blank one and error pages included, is shown without scroll bars.
    WebBrowser->page()->runJavaScript("if (document.body) document.body.style.overflow = 'hidden';");
    if (!Initialized)
    {
        Initialized = true;
        // Links are often written without a scheme ("www.example.com/terms"); an empty one leaves the page blank.
        if (!URL.trimmed().isEmpty())
            WebBrowser->setUrl(QUrl::fromUserInput(URL.trimmed()));
    }
    emit DocumentCompleted(completed, Ok);
}

int ShowWebDialog(QWidget* Owner, const QString& Caption, const QString& URL)
{
    // On the heap and watched: should the owner be destroyed while the dialog runs, it takes the dialog with it.
    QPointer<TForm_IEBrowser> dialog = new TForm_IEBrowser(Owner, Caption, URL);
    const int result = dialog->exec();
    delete dialog.data();
    return result;
}

} // namespace orb
