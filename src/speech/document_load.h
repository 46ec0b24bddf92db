#pragma once

#include "speech/document_reader.h"

#include <QObject>
#include <QString>

#include <memory>

// Reads a document file on a thread of its own and hands its text over in pieces as they are
// read, so that a window can show (and read aloud) the first pages of a large document at once
// and never waits for the rest. Lives on the thread that made it; its signals arrive there.
class DocumentLoad : public QObject
{
    Q_OBJECT
public:
    explicit DocumentLoad(const QString &path, QObject *parent = nullptr);
    // Cancels a reading still in progress; never waits long for it.
    ~DocumentLoad() override;

    void start();
    const QString &path() const { return m_path; }

    // Text read and not yet taken: whole pieces, together at most about `most` characters (at
    // least one piece, however long).
    QString take(qsizetype most);
    bool hasText() const;
    // Share of the document read, 0 to 100.
    int percent() const;
    // True once finished() was sent: the reading thread is done (pieces may wait to be taken).
    bool isFinished() const { return m_finished; }
    // The outcome once finished: ok or the reason it failed, the chapters, title and author.
    // Its text stays empty: the text comes through take().
    const DocumentText &result() const { return m_result; }

signals:
    void textArrived();
    void progressed(int percent);
    void finished();

private:
    struct Shared;
    void onFinished();

    QString m_path;
    std::shared_ptr<Shared> m_shared;
    DocumentText m_result;
    bool m_finished = false;
};
