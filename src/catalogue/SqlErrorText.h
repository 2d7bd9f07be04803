#pragma once

#include <QSqlError>
#include <QString>

// What the database itself said about a failure, else Qt's description:
// the text a failure report shows the operator.
QString sqlErrorText(const QSqlError& error);
