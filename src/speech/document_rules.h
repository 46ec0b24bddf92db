#pragma once

#include <QList>
#include <QPair>
#include <QString>

// What the document buttons remember and how the window is sized when the text box is shown
// or hidden. Heights are in twips; file names use "/" between folders.
namespace DocumentRules {

inline QList<QPair<QString, QString>> openFilters()
{
    return {{QStringLiteral("Rich Text (*.rtf)"), QStringLiteral("*.rtf")},
            {QStringLiteral("Text (*.txt)"), QStringLiteral("*.txt")}};
}

// The open dialog starts with the rich-text filter (1) after an .rtf file, else the text filter (2).
inline int openFilterIndex(const QString &openFileType)
{
    return openFileType == QLatin1String(".rtf") ? 1 : 2;
}

// The last four characters of the file name, NULs removed, blanks trimmed from both ends.
inline QString openFileTypeOf(QString fileName)
{
    fileName.remove(QChar(0));
    QString type = fileName.right(4);
    qsizetype start = 0;
    qsizetype end = type.size();
    while (start < end && type.at(start) == QLatin1Char(' '))
        ++start;
    while (end > start && type.at(end - 1) == QLatin1Char(' '))
        --end;
    return type.mid(start, end - start);
}

// The file name up to and including its last "/"; empty when it names no folder.
inline QString openFolderOf(const QString &fileName)
{
    return fileName.left(fileName.lastIndexOf(QLatin1Char('/')) + 1);
}

// Window height with the text box shown, by the primary screen's height in pixels.
inline int textShownWindowHeight(int screenHeightPixels)
{
    switch (screenHeightPixels) {
    case 480:
        return 6800;
    case 600:
        return 8700;
    default:
        return 11050;
    }
}

// Window height with the text box hidden: the button panel alone.
constexpr int TextHiddenWindowHeight = 2000;

} // namespace DocumentRules
