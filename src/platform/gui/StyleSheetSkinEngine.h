#pragma once

#include "platform/SkinEngine.h"

// Skins are Qt style sheet files applied to the whole application; the
// default skin is the plain built-in look. Attaching a skin replaces the
// whole look: no font or palette of an earlier skin stays behind.
class StyleSheetSkinEngine final : public SkinEngine {
public:
    static constexpr qint64 MaxSkinBytes = 1024 * 1024;

    StyleSheetSkinEngine();
    Q_DISABLE_COPY_MOVE(StyleSheetSkinEngine)
    ~StyleSheetSkinEngine() override = default;

    // True when text is one or more "selector { ... }" rules with closed
    // comments and strings: a file of any other kind is no skin.
    static bool isStyleSheet(const QString& text);

    void attachDefault() override;
    // Missing, not a regular file, unreadable, larger than MaxSkinBytes, not UTF-8 or not a
    // style sheet: the look stays as it is.
    bool attachFile(const QString& path) override;
};
