// makeEncoderWriter of the command line: forwards to the writers in libparlanto_encoders
// (src/encoders_module), opened on first use.
#include "cli/encoded_writer.h"

#include "platform/program_module.h"

namespace {

using EncoderWriterMaker = decltype(&makeEncoderWriter);
using EncoderWriterEntry = EncoderWriterMaker (*)();

// Stands in for the encoder when its library cannot be opened: the file is not begun, and the
// command says why.
class MissingEncoderWriter final : public EncodedWriter
{
public:
    MissingEncoderWriter(const QString &fileName, AudioFormat format)
        : EncodedWriter(fileName), m_format(formatName(format).toUpper())
    {}

    bool open() override
    {
        return fail(
            QStringLiteral("the %1 encoder (libparlanto_encoders.so) cannot be loaded").arg(m_format));
    }

protected:
    bool start() override { return false; }
    bool encode(const int16_t *, qint64) override { return false; }
    bool finish() override { return false; }

private:
    QString m_format;
};

} // namespace

std::unique_ptr<EncodedWriter> makeEncoderWriter(AudioFormat format, const QString &fileName,
                                                 const EncoderSettings &settings, const AudioTags &tags)
{
    static const EncoderWriterMaker maker = [] {
        const auto entry = reinterpret_cast<EncoderWriterEntry>(
            programModuleFunction(QStringLiteral("libparlanto_encoders.so"), "parlanto_encoder_writer"));
        return entry ? entry() : nullptr;
    }();
    if (!maker)
        return std::make_unique<MissingEncoderWriter>(fileName, format);
    return maker(format, fileName, settings, tags);
}
