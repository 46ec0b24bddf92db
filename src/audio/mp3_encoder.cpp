#include "audio/mp3_encoder.h"

#include "platform/program_folder.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace {
constexpr int ErrorTailBytes = 2048;
}

Mp3Encoder::Mp3Encoder(QObject *parent) : QObject(parent)
{
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardInputFile(QProcess::nullDevice());
    connect(&m_process, &QProcess::readyReadStandardError, this, &Mp3Encoder::keepErrorOutput);
    connect(&m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        const bool reported = !m_startError.isEmpty();
        if (!reported)
            m_startError = QStringLiteral("the MP3 encoder %1 could not be started (%2)")
                               .arg(m_process.program(), m_process.errorString());
        // A start that fails later than start() itself ends without finished() from the process.
        if (!reported && !m_starting)
            emit finished();
    });
    connect(&m_process, &QProcess::finished, this, [this] {
        keepErrorOutput();
        emit finished();
    });
}

Mp3Encoder::~Mp3Encoder()
{
    // Nobody would watch or move its file any more: the encoder ends with its owner.
    if (isRunning()) {
        m_process.disconnect(this);
        m_process.kill();
        m_process.waitForFinished(1000);
    }
}

QString Mp3Encoder::program()
{
    const QFileInfo own(programFile(QStringLiteral("lame")));
    if (own.isFile() && own.isExecutable())
        return own.absoluteFilePath();
    return QStandardPaths::findExecutable(QStringLiteral("lame"));
}

bool Mp3Encoder::start(const QString &input, const QString &output)
{
    if (isRunning()) {
        m_process.kill();
        m_process.waitForFinished(1000);
    }
    m_input = input;
    m_output = output;
    m_startError.clear();
    m_errorTail.clear();
    const QString encoder = program();
    if (encoder.isEmpty()) {
        m_startError = QStringLiteral("the MP3 encoder lame was not found (install the lame package)");
        return false;
    }
    m_starting = true;
    m_process.start(encoder, {QStringLiteral("-f"), input, output});
    m_starting = false;
    return m_startError.isEmpty();
}

void Mp3Encoder::stop()
{
    if (!isRunning())
        return;
    m_process.kill();
    m_process.waitForFinished(1000);
}

void Mp3Encoder::keepErrorOutput()
{
    m_errorTail += m_process.readAllStandardError();
    if (m_errorTail.size() > ErrorTailBytes)
        m_errorTail = m_errorTail.right(ErrorTailBytes);
}

QString Mp3Encoder::failure() const
{
    if (!m_startError.isEmpty())
        return m_startError;
    if (m_process.exitStatus() == QProcess::CrashExit)
        return QStringLiteral("the MP3 encoder stopped abnormally");
    if (m_process.exitCode() != 0) {
        QString reason = QStringLiteral("the MP3 encoder ended with exit code %1").arg(m_process.exitCode());
        // Its last line of output usually says what went wrong.
        const QList<QByteArray> lines = m_errorTail.split('\n');
        for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
            const QString said = QString::fromLocal8Bit(line->split('\r').last()).trimmed();
            if (!said.isEmpty()) {
                reason += QStringLiteral(": ") + said;
                break;
            }
        }
        return reason;
    }
    const QFileInfo made(m_output);
    if (!made.isFile() || made.size() == 0)
        return QStringLiteral("the MP3 encoder made no file");
    return {};
}
