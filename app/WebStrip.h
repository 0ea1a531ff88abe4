#pragma once
// The small web strip of the window: fetches one page over HTTP(S) and shows
// it as rich text. It reports each finished load through DocumentComplete;
// ReadyState() is 4 (complete) only when the page arrived whole and without
// error. No scripts run and nothing the page refers to is loaded.
#include <QNetworkAccessManager>
#include <QPointer>
#include <QTextBrowser>
#include <QUrl>

class QNetworkReply;

namespace qm {

class TWebStrip : public QTextBrowser {
    Q_OBJECT
  public:
    static constexpr int READYSTATE_UNINITIALIZED = 0;
    static constexpr int READYSTATE_LOADING = 1;
    static constexpr int READYSTATE_INTERACTIVE = 3;
    static constexpr int READYSTATE_COMPLETE = 4;
    // A page larger than this is not a strip; its load is abandoned.
    static constexpr qint64 kMaxPageBytes = 1 << 20;

    explicit TWebStrip(QWidget* parent = nullptr);
    ~TWebStrip() override;

    // Starts loading the page; returns at once.
    void Navigate(const QUrl& address);
    int ReadyState() const { return readyState_; }

    QVariant loadResource(int type, const QUrl& name) override;

  signals:
    void DocumentComplete();

  private:
    void ReplyFinished();
    void OpenLink(const QUrl& link);

    QNetworkAccessManager network_;
    QPointer<QNetworkReply> reply_;
    QUrl address_;
    int readyState_ = READYSTATE_UNINITIALIZED;
};

}  // namespace qm
