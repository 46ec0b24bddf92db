#pragma once

#include <QString>

// The versions of the speech libraries this process runs with, for the About window.
QString espeakVersion(); // e.g. "1.51"
QString fliteVersion();  // e.g. "2.2"
