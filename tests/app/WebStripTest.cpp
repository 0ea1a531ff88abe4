// The web strip comes into view only when its page arrived whole; every
// address here is on the loopback interface.
#include <gtest/gtest.h>

#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include "RecordingDialogs.h"
#include "app/MainWindow.h"
#include "app/WebStrip.h"

namespace qm {
namespace {

// Answers every request with one fixed response and then closes.
class TPageServer {
  public:
    explicit TPageServer(QByteArray response) : response_(std::move(response)) {
        EXPECT_TRUE(server_.listen(QHostAddress::LocalHost));
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    request_ += socket->readAll();
                    if (!request_.contains("\r\n\r\n")) return;
                    ++requests_;
                    socket->write(response_);
                    socket->disconnectFromHost();
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    QUrl Address() const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/strip.html").arg(server_.serverPort()));
    }
    int Requests() const { return requests_; }
    const QByteArray& Request() const { return request_; }

  private:
    QTcpServer server_;
    QByteArray response_;
    QByteArray request_;
    int requests_ = 0;
};

QByteArray HttpResponse(const QByteArray& status, const QByteArray& body, qint64 announced) {
    return "HTTP/1.1 " + status + "\r\nContent-Type: text/html; charset=utf-8\r\n" +
           "Content-Length: " + QByteArray::number(announced) + "\r\nConnection: close\r\n\r\n" +
           body;
}

class Strip : public ::testing::Test {
  protected:
    Strip() { QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy); }

    // Waits until the strip's load is over, whichever way it went.
    static void WaitForLoad(MainWindow& form) {
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return form.webStrip->ReadyState() != TWebStrip::READYSTATE_LOADING; }, 10000));
        QTest::qWait(20);
    }
    test::TRecordingDialogs dialogs;
};

TEST_F(Strip, ComesIntoViewWhenThePageArrivedWhole) {
    const QByteArray page = "<html><body>Quillmark 新版</body></html>";
    TPageServer server(HttpResponse("200 OK", page, page.size()));
    MainWindow form(dialogs, server.Address());
    EXPECT_EQ(form.webStrip->geometry(), QRect(8, -91, 261, 15));
    WaitForLoad(form);
    EXPECT_EQ(server.Requests(), 1);
    EXPECT_TRUE(server.Request().startsWith("GET /strip.html HTTP/1.1\r\n"));
    EXPECT_EQ(form.webStrip->ReadyState(), TWebStrip::READYSTATE_COMPLETE);
    EXPECT_EQ(form.webStrip->geometry(), QRect(8, 91, 261, 15));
    EXPECT_TRUE(form.webStrip->toPlainText().contains(QString::fromUtf8("新版")));
    EXPECT_TRUE(dialogs.log.empty());
}

TEST_F(Strip, StaysOutOfSightWhenTheLoadFails) {
    // A port that was just closed refuses the connection.
    QUrl closedPort;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
        closedPort = QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(probe.serverPort()));
    }
    TPageServer notFound(HttpResponse("404 Not Found", "<html>gone</html>", 17));
    TPageServer cutShort(HttpResponse("200 OK", "<html>only a part", 5000));
    TPageServer tooLarge(HttpResponse("200 OK", QByteArray(TWebStrip::kMaxPageBytes + 10, 'x'),
                                      TWebStrip::kMaxPageBytes + 10));
    for (const QUrl& address :
         {closedPort, notFound.Address(), cutShort.Address(), tooLarge.Address()}) {
        MainWindow form(dialogs, address);
        WaitForLoad(form);
        EXPECT_NE(form.webStrip->ReadyState(), TWebStrip::READYSTATE_COMPLETE)
            << address.toString().toStdString();
        EXPECT_EQ(form.webStrip->y(), -91) << address.toString().toStdString();
    }
    EXPECT_EQ(notFound.Requests(), 1);
    EXPECT_EQ(cutShort.Requests(), 1);
    EXPECT_TRUE(dialogs.log.empty());
}

}  // namespace
}  // namespace qm
