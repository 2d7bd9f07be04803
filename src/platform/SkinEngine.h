#pragma once

#include <QString>

// Applies the program's look: the built-in default or a skin file.
class SkinEngine {
public:
    virtual ~SkinEngine() = default;
    virtual void attachDefault() = 0;
    // A missing or unreadable file changes nothing and returns false.
    virtual bool attachFile(const QString& path) = 0;
};
