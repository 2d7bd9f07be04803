#pragma once

#include <QMetaType>
#include <QtGlobal>

// A row's paint colour as plain red, green and blue, so the rows and the
// monitoring cycle need no graphics library; the window turns it into a
// brush. A default-made colour is invalid: the row keeps the view's colours.
class RowColour final {
public:
    constexpr RowColour() = default;
    constexpr RowColour(int red, int green, int blue)
        : m_red(static_cast<quint8>(red))
        , m_green(static_cast<quint8>(green))
        , m_blue(static_cast<quint8>(blue))
        , m_valid(true) {}

    constexpr bool isValid() const { return m_valid; }
    constexpr int red() const { return m_red; }
    constexpr int green() const { return m_green; }
    constexpr int blue() const { return m_blue; }

    friend constexpr bool operator==(const RowColour&, const RowColour&) = default;

private:
    quint8 m_red = 0;
    quint8 m_green = 0;
    quint8 m_blue = 0;
    bool m_valid = false;
};

Q_DECLARE_METATYPE(RowColour)
