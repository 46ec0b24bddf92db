#pragma once

#include <QByteArray>
#include <QUrl>
#include <QtGlobal>

#include <functional>
#include <memory>

// One HTTP GET, for the online update. The network code lives in a small library of its own
// (libparlanto_web, src/web_module), opened on the first transfer, so that the program starts
// without Qt Network and the libraries behind it. Only Qt Core types cross this line.
class WebTransfer
{
public:
    struct Request
    {
        QUrl url;
        // A transfer that receives nothing for this long has failed.
        int idleTimeoutMs = 30000;
        int maxRedirects = 0;
        // What the network layer may hold of a body not read yet.
        qint64 readBufferBytes = 0;
        // Whether the redirect to this absolute address is followed; if not, the transfer ends.
        std::function<bool(const QUrl &)> redirectAllowed;
        // Progress, in the order it happens. `finished` comes once, also after abort(), and the
        // transfer may be destroyed from within any of them.
        std::function<void()> connecting;
        std::function<void()> requestSent;
        std::function<void()> metaDataChanged;
        std::function<void()> readyRead;
        std::function<void()> finished;
    };

    virtual ~WebTransfer() = default;
    // Ends the transfer as failed; `finished` comes before this returns.
    virtual void abort() = 0;
    // An error ended it (abort, timeout, refused redirect, network or HTTP error).
    virtual bool failed() const = 0;
    virtual int httpStatus() const = 0;
    virtual QByteArray rawHeader(const QByteArray &name) const = 0;
    virtual qint64 bytesAvailable() const = 0;
    virtual QByteArray read(qint64 maxBytes) = 0;
    virtual void skip(qint64 bytes) = 0;
};

// The transfers of one window: they share connections, and go with it.
class WebSession
{
public:
    virtual ~WebSession() = default;
    virtual std::unique_ptr<WebTransfer> get(WebTransfer::Request request) = 0;

    // A session of the network library, or one whose transfers fail at once when the library
    // cannot be opened (a warning says why).
    static std::unique_ptr<WebSession> open();
};

// What the library offers, through its one exported function.
struct WebModule
{
    WebSession *(*createSession)();
};

#define PARLANTO_WEB_MODULE_ENTRY "parlanto_web_module"
using WebModuleEntry = const WebModule *(*)();
