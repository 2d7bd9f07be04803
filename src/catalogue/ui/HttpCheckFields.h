#pragma once

#include "catalogue/ServerChecks.h"
#include "monitor/ServerRecord.h"

#include <QCoreApplication>
#include <QList>

class MultiLineText;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QLineEdit;
class QWidget;

// The fields of an HTTP(S) check in the add and edit dialogs: URL, method,
// follow redirects, request headers, accepted status codes, JSON condition.
// The widgets belong to the dialog given.
class HttpCheckFields final {
    Q_DECLARE_TR_FUNCTIONS(HttpCheckFields)
    Q_DISABLE_COPY_MOVE(HttpCheckFields)
public:
    explicit HttpCheckFields(QWidget& dialog);
    ~HttpCheckFields();

    // Adds the rows, each with its label, from the grid row given on.
    void addRows(QGridLayout& grid, int firstRow);
    void setShown(bool shown);
    void setFields(const ServerRecord& server);
    // The URL, method, headers, accepted codes, redirects and JSON condition
    // into server; a method the dialog does not offer reads as the empty text.
    void takeFields(ServerRecord& server) const;
    // The widget holding a field HttpRefusal names.
    QWidget* fieldOf(ServerChecks::Field field) const;

    QLineEdit* TextUrl;
    QComboBox* ComboHttpMethod;
    QCheckBox* CheckHttpRedirects;
    MultiLineText* TextHttpHeaders;
    QLineEdit* TextHttpStatus;
    QLineEdit* TextJsonCondition;

private:
    QList<QWidget*> m_rows; // the labels and fields shown only for HTTP(S)
};
