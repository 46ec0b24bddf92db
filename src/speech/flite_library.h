#pragma once

#include <flite.h>

// libflite and its voices, opened when Flite is first used rather than when the program
// starts: each CMU voice library carries tens of thousands of relocations, so a process that
// never speaks with a voice never pays for loading it. Debian's sonames are fixed, so the
// libraries are opened by name.
struct FliteLibrary
{
    int (*init)();
    cst_utterance *(*synthText)(const char *text, cst_voice *voice);
    cst_wave *(*uttWave)(cst_utterance *u);
    cst_relation *(*uttRelation)(const cst_utterance *u, const char *name);
    cst_item *(*relationHead)(cst_relation *r);
    cst_item *(*itemNext)(const cst_item *i);
    cst_item *(*itemDaughter)(const cst_item *i);
    cst_item *(*itemAs)(const cst_item *i, const char *relation);
    const char *(*itemFeatString)(const cst_item *i, const char *name);
    float (*ffeatureFloat)(const cst_item *item, const char *path);
    void (*deleteUtterance)(cst_utterance *u);
    void (*featSetFloat)(cst_features *f, const char *name, float v);
    float (*getParamFloat)(const cst_features *f, const char *name, float def);

    // libflite itself, loaded once; null when it cannot be opened.
    static const FliteLibrary *get();
    // Opens the library of one CMU voice ("slt", "kal16", …) and registers the voice; null when
    // the voice's library is missing.
    static cst_voice *registerVoice(const char *id);
    // The file libflite was loaded from; empty when it is not loaded.
    static const char *fileName();
};
