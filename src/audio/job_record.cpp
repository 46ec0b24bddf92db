#include "audio/job_record.h"

#include "platform/program_folder.h"

namespace JobFiles {

QString wavTemp()
{
    return scratchRoot() + QStringLiteral("/tmp$.wav");
}

QString mp3Temp()
{
    return scratchRoot() + QStringLiteral("/tmp$.mp3");
}

QString converterWav()
{
    return scratchRoot() + QStringLiteral("/w2mtmp.wav");
}

QString converterMp3()
{
    return scratchRoot() + QStringLiteral("/w2mtmp.mp3");
}

} // namespace JobFiles
