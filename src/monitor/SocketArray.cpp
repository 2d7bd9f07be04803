#include "monitor/SocketArray.h"

#include "monitor/ServerRowModel.h"
#include "monitor/SocketElement.h"

SocketArray::SocketArray(ServerRowModel& rows, QObject* parent)
    : QObject(parent)
    , m_rows(rows) {
    m_deleter.setInterval(0);
    connect(&m_deleter, &QTimer::timeout, this, &SocketArray::deleteBatch);
    connect(&rows, &QAbstractItemModel::modelAboutToBeReset, this, &SocketArray::dropAll);
    connect(&rows, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex&, int first, int last) { dropFor(first, last); });
    connect(&rows, &ServerRowModel::rowReplaced, this, [this](int, quint64 oldKey) {
        if (SocketElement* element = m_elements.take(oldKey))
            drop(element);
    });
}

// Elements close without events as they go; batches already on their way
// go as children.
SocketArray::~SocketArray() {
    qDeleteAll(m_elements);
    qDeleteAll(m_dropped);
    qDeleteAll(m_pool);
}

SocketElement* SocketArray::element(quint64 key) const {
    return m_elements.value(key, nullptr);
}

SocketElement* SocketArray::elementFor(quint64 key) {
    if (SocketElement* existing = element(key))
        return existing;
    if (m_rows.rowOfKey(key) < 0)
        return nullptr;
    if (!m_pool.isEmpty()) {
        SocketElement* pooled = m_pool.takeLast();
        pooled->setKey(key);
        m_elements.insert(key, pooled);
        return pooled;
    }
    // Not a child of the array: a child's deletion searches the parent's
    // list of ten thousand children.
    auto* element = new SocketElement(key);
    connect(element, &SocketElement::Connected, this, &SocketArray::Connected);
    connect(element, &SocketElement::DataArrival, this, &SocketArray::DataArrival);
    connect(element, &SocketElement::Error, this, &SocketArray::Error);
    m_elements.insert(key, element);
    return element;
}

void SocketArray::release(quint64 key) {
    SocketElement* element = m_elements.take(key);
    if (!element)
        return;
    element->Close();
    if (m_pool.size() < PooledLimit)
        m_pool.append(element);
    else
        drop(element);
}

void SocketArray::dropFor(int first, int last) {
    for (int row = first; row <= last; ++row) {
        if (SocketElement* element = m_elements.take(m_rows.keyAt(row)))
            drop(element);
    }
}

// The element may be the sender of the event being handled further up the
// stack: it goes quiet now and is deleted later from the event loop.
void SocketArray::drop(SocketElement* element) {
    element->blockSignals(true);
    element->Close();
    m_dropped.append(element);
    if (!m_deleter.isActive())
        m_deleter.start();
}

void SocketArray::dropAll() {
    for (SocketElement* element : std::as_const(m_elements))
        drop(element);
    m_elements.clear();
}

void SocketArray::deleteBatch() {
    const qsizetype batch = qMin<qsizetype>(DeletedPerTurn, m_dropped.size());
    // The batch's elements go together with a holder of their own, which the
    // array deletes with itself should the event loop never come to it.
    auto* holder = new QObject(this);
    for (qsizetype i = 0; i < batch; ++i)
        m_dropped.at(m_dropped.size() - 1 - i)->setParent(holder);
    holder->deleteLater();
    m_dropped.resize(m_dropped.size() - batch);
    if (m_dropped.isEmpty())
        m_deleter.stop();
}
