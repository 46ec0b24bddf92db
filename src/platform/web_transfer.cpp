#include "platform/web_transfer.h"

#include "platform/program_module.h"

#include <QObject>
#include <QTimer>

namespace {

const WebModule *webModule()
{
    static const WebModule *const module = []() -> const WebModule * {
        const auto entry = reinterpret_cast<WebModuleEntry>(
            programModuleFunction(QStringLiteral("libparlanto_web.so"), PARLANTO_WEB_MODULE_ENTRY));
        return entry ? entry() : nullptr;
    }();
    return module;
}

// Without the network library every transfer fails, as one would with no network: it ends on
// the next pass of the event loop, never inside the call that started it.
class UnreachableTransfer final : public WebTransfer
{
public:
    explicit UnreachableTransfer(std::function<void()> finished) : m_finished(std::move(finished))
    {
        QTimer::singleShot(0, &m_context, [this] { end(); });
    }
    void abort() override { end(); }
    bool failed() const override { return true; }
    int httpStatus() const override { return 0; }
    QByteArray rawHeader(const QByteArray &) const override { return {}; }
    qint64 bytesAvailable() const override { return 0; }
    QByteArray read(qint64) override { return {}; }
    void skip(qint64) override {}

private:
    void end()
    {
        if (m_ended)
            return;
        m_ended = true;
        // A copy: the transfer may be destroyed from within.
        if (const std::function<void()> finished = m_finished)
            finished();
    }
    QObject m_context;
    std::function<void()> m_finished;
    bool m_ended = false;
};

class UnreachableSession final : public WebSession
{
public:
    std::unique_ptr<WebTransfer> get(WebTransfer::Request request) override
    {
        return std::make_unique<UnreachableTransfer>(std::move(request.finished));
    }
};

} // namespace

std::unique_ptr<WebSession> WebSession::open()
{
    if (const WebModule *module = webModule())
        if (WebSession *session = module->createSession())
            return std::unique_ptr<WebSession>(session);
    return std::make_unique<UnreachableSession>();
}
