#pragma once

#include <QString>

// The announcement page comes from the network; Qt's text layout is slow
// on deep nesting (tables nested twenty deep take seconds, thousands
// overflow the stack) and would load what the page names. reduce() keeps
// a bounded, resource-free subset that any page renders quickly in.
namespace AnnouncementPage {

inline constexpr int MaxDepth = 16;     // elements open at once
inline constexpr int MaxTableDepth = 3; // tables open at once
inline constexpr int MaxElements = 300; // elements kept in all
inline constexpr int MaxTextChars = 8 * 1024;

// Formatting, lists, tables and links with a few plain attributes; no
// images, scripts, style sheets, styles or frames. Dropped elements keep
// their text, except scripts, style sheets, titles and the like, whose
// content is no page text. The result is well formed: every kept element
// is closed.
QString reduce(const QString& page);

} // namespace AnnouncementPage
