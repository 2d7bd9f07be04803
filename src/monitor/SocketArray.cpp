#include "monitor/SocketArray.h"

#include "monitor/ServerRowModel.h"
#include "monitor/SocketElement.h"

SocketArray::SocketArray(ServerRowModel& rows, QObject* parent)
    : QObject(parent)
    , m_rows(rows) {
    connect(&rows, &QAbstractItemModel::modelAboutToBeReset, this, &SocketArray::dropAll);
    connect(&rows, &QAbstractItemModel::modelReset, this,
            [this] { createFor(0, m_rows.rowCount() - 1); });
    connect(&rows, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { createFor(first, last); });
    connect(&rows, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex&, int first, int last) { dropFor(first, last); });
    createFor(0, rows.rowCount() - 1);
}

SocketArray::~SocketArray() {
    dropAll();
}

SocketElement* SocketArray::element(quint64 key) const {
    return m_elements.value(key, nullptr);
}

void SocketArray::createFor(int first, int last) {
    for (int row = first; row <= last; ++row)
        create(m_rows.keyAt(row));
}

void SocketArray::dropFor(int first, int last) {
    for (int row = first; row <= last; ++row)
        drop(m_rows.keyAt(row));
}

void SocketArray::create(quint64 key) {
    if (m_elements.contains(key))
        return;
    auto* element = new SocketElement(key, this);
    connect(element, &SocketElement::Connected, this, &SocketArray::Connected);
    connect(element, &SocketElement::DataArrival, this, &SocketArray::DataArrival);
    connect(element, &SocketElement::Error, this, &SocketArray::Error);
    m_elements.insert(key, element);
}

// The element may be the sender of the event being handled further up the
// stack, so it goes quietly now and is deleted once control is back in the
// event loop.
void SocketArray::drop(quint64 key) {
    SocketElement* element = m_elements.take(key);
    if (!element)
        return;
    element->disconnect(this);
    element->Close();
    element->deleteLater();
}

void SocketArray::dropAll() {
    const QList<quint64> keys = m_elements.keys();
    for (const quint64 key : keys)
        drop(key);
}
