#include "cli/cli_commands.h"

#include "speech/spvoice.h"
#include "speech/synth_engine.h"
#include "speech/voice_catalog.h"

#include <QLocale>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

QTextStream &cliOut()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &cliErr()
{
    static QTextStream stream(stderr);
    return stream;
}

namespace {

QList<VoiceCatalog::Entry> voiceList(const QList<EngineVoice> &espeak, bool generation5)
{
    QStringList names;
    names.reserve(espeak.size());
    for (const EngineVoice &voice : espeak)
        names.append(voice.name);
    QList<VoiceCatalog::Entry> entries = VoiceCatalog::generation4Entries(names);
    if (generation5)
        entries += VoiceCatalog::generation5Entries(SpVoice::GetVoices());
    return entries;
}

} // namespace

// The voices of the families asked for. Each family's library is loaded on first use, so a
// command that needs one family never waits for the other.
QList<VoiceCatalog::Entry> cliVoiceList(bool generation4, bool generation5)
{
    if (generation4 && generation5)
        SynthEngine::flite(); // loads on its own thread while eSpeak NG's voices are found
    return voiceList(generation4 ? SynthEngine::espeak().voices() : QList<EngineVoice>(), generation5);
}

std::optional<CliVoice> findCliVoice(const QString &wanted, QStringList *candidates)
{
    // A list text names its family, and only that family's library is loaded; so is eSpeak
    // NG's alone for the default.
    const QString typed = wanted.trimmed();
    const bool generation4 = !typed.endsWith(VoiceCatalog::suffix(VoiceCatalog::Generation5));
    const bool generation5 =
        !typed.isEmpty() && !typed.endsWith(VoiceCatalog::suffix(VoiceCatalog::Generation4));
    if (generation4 && generation5)
        SynthEngine::flite();
    const QList<EngineVoice> espeak = generation4 ? SynthEngine::espeak().voices() : QList<EngineVoice>();
    const auto entries = voiceList(espeak, generation5);
    if (entries.isEmpty())
        return std::nullopt;
    auto toVoice = [](const VoiceCatalog::Entry &e) {
        return CliVoice{e.text, VoiceCatalog::generationOf(e.itemData), VoiceCatalog::indexOf(e.itemData)};
    };
    // Each entry's language, in list order: eSpeak NG's voices first, as in the list.
    QStringList languages;
    for (const auto &voice : espeak)
        languages.append(voice.language);
    if (generation5)
        for (const auto &voice : SynthEngine::flite().voices())
            languages.append(voice.language);
    if (typed.isEmpty()) {
        // The same choice as the main window's first start: the user's language.
        return toVoice(
            entries.at(std::max(0, VoiceCatalog::defaultVoicePosition(languages, QLocale().name()))));
    }
    const QList<int> found = VoiceCatalog::matchingVoices(entries, languages, typed);
    if (found.size() == 1)
        return toVoice(entries.at(found.first()));
    if (candidates)
        for (const int position : found)
            candidates->append(entries.at(position).text);
    return std::nullopt;
}

int voiceNotFound(const QString &wanted, const QStringList &candidates)
{
    if (candidates.isEmpty()) {
        cliErr() << "parlanto-cli: unknown voice '" << wanted << "' (see 'parlanto-cli voices')\n";
        cliErr().flush();
        return 1;
    }
    // A long list helps nobody: the first few say what to add to the name.
    constexpr int Shown = 12;
    cliErr() << "parlanto-cli: voice '" << wanted << "' could be any of " << candidates.size()
             << " voices; give more of the name:\n";
    for (const QString &candidate : candidates.mid(0, Shown))
        cliErr() << "  " << candidate << "\n";
    if (candidates.size() > Shown)
        cliErr() << "  (and " << candidates.size() - Shown << " more)\n";
    cliErr().flush();
    return 2;
}
