#pragma once

#include <QString>

// The two forms of an exported catalogue: CSV with a header row, or a JSON
// array of objects, both keyed by the catalogue's column names.
enum class CatalogueFormat { Csv, Json };

// The form a file name asks for: JSON for a name ending in ".json", CSV otherwise.
inline CatalogueFormat CatalogueFormatOf(const QString& path) {
    return path.endsWith(QLatin1String(".json"), Qt::CaseInsensitive) ? CatalogueFormat::Json
                                                                      : CatalogueFormat::Csv;
}
