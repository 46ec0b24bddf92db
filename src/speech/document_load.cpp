#include "speech/document_load.h"

#include <QMetaObject>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// What the reading thread and the load share. The thread owns a reference of its own, so a load
// that is dropped while its thread still runs leaves nothing dangling; the thread then only
// finds itself cancelled and nobody to tell.
struct DocumentLoad::Shared
{
    std::mutex mutex;
    std::condition_variable done;
    std::deque<QString> pieces;
    DocumentText result;
    bool finished = false;
    DocumentLoad *owner = nullptr; // cleared when the load goes away
    std::atomic<bool> cancelled = false;
    std::atomic<int> percent = 0;
};

DocumentLoad::DocumentLoad(const QString &path, QObject *parent)
    : QObject(parent), m_path(path), m_shared(std::make_shared<Shared>())
{
    m_shared->owner = this;
}

DocumentLoad::~DocumentLoad()
{
    std::unique_lock lock(m_shared->mutex);
    m_shared->owner = nullptr;
    m_shared->cancelled = true;
    // A cancelled reading stops at its next page or chapter; a moment is all it may take here.
    m_shared->done.wait_for(lock, std::chrono::milliseconds(200), [this] { return m_shared->finished; });
}

void DocumentLoad::start()
{
    std::thread([shared = m_shared, path = m_path] {
        DocumentFeed feed;
        feed.piece = [&shared](const QString &piece) {
            std::lock_guard lock(shared->mutex);
            const bool wasEmpty = shared->pieces.empty();
            shared->pieces.push_back(piece);
            if (wasEmpty && shared->owner)
                QMetaObject::invokeMethod(shared->owner, &DocumentLoad::textArrived, Qt::QueuedConnection);
        };
        feed.progress = [&shared](int percent) {
            if (shared->percent.exchange(percent) == percent)
                return;
            std::lock_guard lock(shared->mutex);
            if (shared->owner)
                QMetaObject::invokeMethod(
                    shared->owner, [owner = shared->owner, percent] { emit owner->progressed(percent); },
                    Qt::QueuedConnection);
        };
        feed.cancelled = [&shared] { return shared->cancelled.load(); };
        DocumentText result = readDocumentFile(path, feed);
        std::lock_guard lock(shared->mutex);
        shared->result = std::move(result);
        shared->finished = true;
        shared->done.notify_all();
        if (shared->owner)
            QMetaObject::invokeMethod(shared->owner, &DocumentLoad::onFinished, Qt::QueuedConnection);
    }).detach();
}

QString DocumentLoad::take(qsizetype most)
{
    std::lock_guard lock(m_shared->mutex);
    QString text;
    while (!m_shared->pieces.empty() &&
           (text.isEmpty() || text.size() + m_shared->pieces.front().size() <= most)) {
        text += m_shared->pieces.front();
        m_shared->pieces.pop_front();
    }
    return text;
}

bool DocumentLoad::hasText() const
{
    std::lock_guard lock(m_shared->mutex);
    return !m_shared->pieces.empty();
}

int DocumentLoad::percent() const
{
    return m_shared->percent;
}

void DocumentLoad::onFinished()
{
    {
        std::lock_guard lock(m_shared->mutex);
        m_result = std::move(m_shared->result);
    }
    m_finished = true;
    emit finished();
}
