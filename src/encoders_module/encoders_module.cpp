// libparlanto_encoders: the MP3, Opus and FLAC writers with LAME, libopusenc, libFLAC and TagLib,
// opened by the command line when it first writes one of those formats (see
// cli/encoder_loader.cpp).
#include "cli/mp3_writer.h"
#include "cli/opus_flac_writers.h"

#include <QtGlobal>

std::unique_ptr<EncodedWriter> makeEncoderWriter(AudioFormat format, const QString &fileName,
                                                 const EncoderSettings &settings, const AudioTags &tags)
{
    switch (format) {
    case AudioFormat::Mp3:
        return std::make_unique<Mp3Writer>(fileName, settings, tags);
    case AudioFormat::Opus:
        return std::make_unique<OpusWriter>(fileName, settings, tags);
    case AudioFormat::Flac:
        return std::make_unique<FlacWriter>(fileName, tags);
    case AudioFormat::Wav:
        break;
    }
    return makeAudioWriter(format, fileName, settings, tags);
}

using EncoderWriterMaker = decltype(&makeEncoderWriter);

extern "C" Q_DECL_EXPORT EncoderWriterMaker parlanto_encoder_writer()
{
    return &makeEncoderWriter;
}
