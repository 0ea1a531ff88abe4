#include "app/WebStrip.h"

#include <QDesktopServices>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>

namespace qm {

TWebStrip::TWebStrip(QWidget* parent) : QTextBrowser(parent) {
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setOpenLinks(false);
    document()->setDocumentMargin(0);
    connect(this, &QTextBrowser::anchorClicked, this, &TWebStrip::OpenLink);
}

TWebStrip::~TWebStrip() {
    if (reply_) reply_->abort();
}

void TWebStrip::Navigate(const QUrl& address) {
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
        reply_->deleteLater();
    }
    address_ = address;
    readyState_ = READYSTATE_LOADING;
    QNetworkRequest request(address);
    reply_ = network_.get(request);
    QNetworkReply* reply = reply_;
    connect(reply, &QNetworkReply::downloadProgress, this, [reply](qint64 received, qint64) {
        if (received > kMaxPageBytes) reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, &TWebStrip::ReplyFinished);
}

void TWebStrip::ReplyFinished() {
    QNetworkReply* reply = reply_;
    if (!reply) return;
    reply->deleteLater();
    reply_ = nullptr;
    const QByteArray page = reply->readAll();
    // A page cut short by a closed connection is not complete, even if the
    // network layer does not call it an error.
    const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
    const bool whole = !announced.isValid() || announced.toLongLong() == page.size();
    if (reply->error() == QNetworkReply::NoError && whole && page.size() <= kMaxPageBytes) {
        QStringDecoder decoder = QStringDecoder::decoderForHtml(page);
        setHtml(decoder.isValid() ? QString(decoder(page)) : QString::fromUtf8(page));
        readyState_ = READYSTATE_COMPLETE;
    } else {
        readyState_ = READYSTATE_INTERACTIVE;
    }
    emit DocumentComplete();
}

QVariant TWebStrip::loadResource(int /*type*/, const QUrl& /*name*/) {
    // Images and style sheets of the page are neither fetched nor read from
    // local files.
    return QVariant();
}

void TWebStrip::OpenLink(const QUrl& link) {
    const QUrl target = link.isRelative() ? address_.resolved(link) : link;
    if (target.scheme() == QLatin1String("http") || target.scheme() == QLatin1String("https")) {
        QDesktopServices::openUrl(target);
    }
}

}  // namespace qm
