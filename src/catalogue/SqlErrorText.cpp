#include "catalogue/SqlErrorText.h"

QString sqlErrorText(const QSqlError& error) {
    const QString text = error.databaseText();
    return (text.isEmpty() ? error.text() : text).trimmed();
}
