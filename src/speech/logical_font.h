#pragma once

#include "platform/rounding.h"

#include <QFont>
#include <QString>

#include <cstdint>

// The record the font chooser starts from and hands back: a font as whole points, a weight of
// 700 or 400 and a face name that fits a 32-byte field with its closing zero. Going through it
// is what makes a chosen 10.5 pt font 10 pt and a semibold font regular.
struct LogicalFont
{
    static constexpr int FaceNameLength = 31;
    static constexpr int32_t BoldWeight = 700;
    static constexpr int32_t NormalWeight = 400;
    static constexpr uint8_t VariablePitchSwiss = 16; // pitch and family

    int32_t height = 0; // minus the point size
    int32_t weight = NormalWeight;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    int32_t charSet = 1;
    uint8_t outPrecision = 0;
    uint8_t clipPrecision = 0;
    uint8_t quality = 0;
    uint8_t pitchAndFamily = VariablePitchSwiss;
    QString faceName;

    bool operator==(const LogicalFont &) const = default;

    int pointSize() const { return -height; }
    bool bold() const { return weight == BoldWeight; }

    // The record of `font`; a font sized in pixels counts 96 pixels to the inch.
    static LogicalFont fromFont(const QFont &font, int32_t charSet)
    {
        LogicalFont record;
        const double points = font.pointSizeF() > 0 ? font.pointSizeF() : font.pixelSize() * 72.0 / 96.0;
        record.height = -roundHalfEven(points);
        record.weight = font.bold() ? BoldWeight : NormalWeight;
        record.italic = font.italic();
        record.underline = font.underline();
        record.strikeOut = font.strikeOut();
        record.charSet = charSet;
        record.faceName = shortenedFaceName(font.family());
        return record;
    }

    // The font this record describes. A record without a positive size keeps `base`'s size.
    QFont toFont(const QFont &base = QFont()) const
    {
        QFont font(base);
        if (!faceName.isEmpty())
            font.setFamily(faceName);
        if (pointSize() > 0)
            font.setPointSize(pointSize());
        font.setBold(bold());
        font.setItalic(italic);
        font.setUnderline(underline);
        font.setStrikeOut(strikeOut);
        return font;
    }

    // At most FaceNameLength characters, never half of a surrogate pair.
    static QString shortenedFaceName(const QString &name)
    {
        if (name.size() <= FaceNameLength)
            return name;
        int length = FaceNameLength;
        if (name.at(length - 1).isHighSurrogate())
            --length;
        return name.left(length);
    }
};
