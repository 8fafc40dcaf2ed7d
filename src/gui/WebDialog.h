#pragma once

#include <QDialog>
#include <QString>
#include <QUrl>

class QWebEngineView;

namespace orb
{

/// A small modal browser window for the links of the registration pages: it opens on a blank page, then loads the
/// address, and shows every page without scroll bars.
class TForm_IEBrowser : public QDialog
{
    Q_OBJECT
public:
    /// A window captioned Caption (first letter upper-cased) that will load URL; centred on Owner's window.
    TForm_IEBrowser(QWidget* Owner, const QString& Caption, const QString& URL);
    ~TForm_IEBrowser() override;

    /// Caption with its first character in upper case; an empty caption stays empty.
    static QString UpperFirst(const QString& Caption);

    /// Runs after every finished load: hides the page's scroll bars; the first time, goes on to URL.
    void WebBrowserDocumentComplete(bool Ok);

    QWebEngineView* WebBrowser = nullptr; ///< the page, filling the window
    bool Initialized = false;             ///< the blank start page has loaded and URL was requested
    QString URL;                          ///< the address shown once the blank page has loaded

signals:
    /// Emitted after the finished load of Address has been handled (the overflow script is queued by then).
    void DocumentCompleted(const QUrl& Address, bool Ok);
};

/// Shows URL in a modal TForm_IEBrowser owned by Owner; the dialog's result once the user closes it.
int ShowWebDialog(QWidget* Owner, const QString& Caption, const QString& URL);

} // namespace orb
