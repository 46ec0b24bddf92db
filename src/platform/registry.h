#pragma once

#include <QString>
#include <QVariant>

// The registry stand-in: an INI file "registry.ini" in the program folder, keys by their
// full Windows path (e.g. "HKEY_CURRENT_USER\\Software\\Parlanto").
class Registry
{
public:
    static QVariant value(const QString &key, const QString &name, const QVariant &fallback = {});
    static void setValue(const QString &key, const QString &name, const QVariant &value);
    static void remove(const QString &key, const QString &name);
    // Whether the key can be opened: it holds a value or a subkey.
    static bool keyExists(const QString &key);
};
