// libparlanto_web: HTTP transfers through Qt Network, opened on the first one (see
// platform/web_transfer.h).
#include "platform/web_transfer.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>

namespace {

// Calls a copy of the handler: the transfer may be destroyed from within it.
void call(const std::function<void()> &handler)
{
    if (const std::function<void()> copy = handler)
        copy();
}

class QtWebTransfer final : public WebTransfer
{
public:
    QtWebTransfer(QNetworkAccessManager &network, Request request)
        : m_request(std::move(request)), m_context(new QObject)
    {
        QNetworkRequest http(m_request.url);
        http.setTransferTimeout(m_request.idleTimeoutMs);
        // Every redirect is put to the caller.
        http.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                          QNetworkRequest::UserVerifiedRedirectPolicy);
        http.setMaximumRedirectsAllowed(m_request.maxRedirects);
        QNetworkReply *reply = network.get(http);
        m_reply = reply;
        reply->setReadBufferSize(m_request.readBufferBytes);
        QObject::connect(reply, &QNetworkReply::redirected, m_context, [this, reply](const QUrl &target) {
            if (m_request.redirectAllowed && m_request.redirectAllowed(reply->url().resolved(target)))
                emit reply->redirectAllowed();
            else
                reply->abort();
        });
        QObject::connect(reply, &QNetworkReply::socketStartedConnecting, m_context,
                         [this] { call(m_request.connecting); });
        QObject::connect(reply, &QNetworkReply::requestSent, m_context,
                         [this] { call(m_request.requestSent); });
        QObject::connect(reply, &QNetworkReply::metaDataChanged, m_context,
                         [this] { call(m_request.metaDataChanged); });
        QObject::connect(reply, &QNetworkReply::readyRead, m_context, [this] { call(m_request.readyRead); });
        QObject::connect(reply, &QNetworkReply::finished, m_context, [this] { call(m_request.finished); });
    }
    ~QtWebTransfer() override
    {
        // Nothing the reply still reports reaches the caller; the reply itself goes once the
        // signal it may be sending right now has been delivered.
        if (m_reply) {
            QObject::disconnect(m_reply, nullptr, m_context, nullptr);
            m_reply->abort();
            m_reply->deleteLater();
        }
        m_context->deleteLater();
    }
    QtWebTransfer(const QtWebTransfer &) = delete;
    QtWebTransfer &operator=(const QtWebTransfer &) = delete;

    void abort() override
    {
        if (m_reply)
            m_reply->abort();
    }
    bool failed() const override { return !m_reply || m_reply->error() != QNetworkReply::NoError; }
    int httpStatus() const override
    {
        return m_reply ? m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() : 0;
    }
    QByteArray rawHeader(const QByteArray &name) const override
    {
        return m_reply ? m_reply->rawHeader(name) : QByteArray();
    }
    qint64 bytesAvailable() const override { return m_reply ? m_reply->bytesAvailable() : 0; }
    QByteArray read(qint64 maxBytes) override { return m_reply ? m_reply->read(maxBytes) : QByteArray(); }
    void skip(qint64 bytes) override
    {
        if (m_reply)
            m_reply->skip(bytes);
    }

private:
    Request m_request;
    QObject *m_context; // receives the reply's signals while this transfer lives
    QPointer<QNetworkReply> m_reply;
};

class QtWebSession final : public WebSession
{
public:
    std::unique_ptr<WebTransfer> get(WebTransfer::Request request) override
    {
        return std::make_unique<QtWebTransfer>(m_network, std::move(request));
    }

private:
    QNetworkAccessManager m_network;
};

WebSession *createSession()
{
    return new QtWebSession;
}

const WebModule module = {&createSession};

} // namespace

extern "C" Q_DECL_EXPORT const WebModule *parlanto_web_module()
{
    return &module;
}
