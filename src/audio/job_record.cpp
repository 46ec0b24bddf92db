#include "audio/job_record.h"

#include "platform/program_folder.h"

namespace JobFiles {

QString wavTemp()
{
    return ownScratchFolder() + QStringLiteral("/tmp$.wav");
}

QString mp3Temp()
{
    return ownScratchFolder() + QStringLiteral("/tmp$.mp3");
}

QString converterWav()
{
    return ownScratchFolder() + QStringLiteral("/w2mtmp.wav");
}

QString converterMp3()
{
    return ownScratchFolder() + QStringLiteral("/w2mtmp.mp3");
}

} // namespace JobFiles
