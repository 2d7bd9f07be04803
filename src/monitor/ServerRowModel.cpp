#include "monitor/ServerRowModel.h"

#include "http/HttpExchangeFacts.h"
#include "monitor/GbkText.h"
#include "monitor/HttpCheck.h"
#include "monitor/SharedTranslations.h"
#include "monitor/SparseCellTexts.h"
#include "platform/PlainText.h"
#include "tls/CertificateFacts.h"

#include <QDateTime>
#include <QSharedData>
#include <QTimer>

#include <algorithm>
#include <array>
#include <optional>

namespace {
// A cell shows at most this many characters, on one line; the whole text
// stays available through FullTextRole.
constexpr qsizetype DisplayLimit = 4096;

struct ColumnInfo {
    const char* key;
    const char* caption;
};

const std::array<ColumnInfo, ServerRowModel::ColumnCount>& columnInfo() {
    static const std::array<ColumnInfo, ServerRowModel::ColumnCount> info{{
        {"ID", QT_TRANSLATE_NOOP("ServerRowModel", "启用")},
        {"DisplayName", QT_TRANSLATE_NOOP("ServerRowModel", "服务器名称")},
        {"IPAddress", QT_TRANSLATE_NOOP("ServerRowModel", "IP地址")},
        {"Port", QT_TRANSLATE_NOOP("ServerRowModel", "端口")},
        {"Status", QT_TRANSLATE_NOOP("ServerRowModel", "状态")},
        {"ReplyTime", QT_TRANSLATE_NOOP("ServerRowModel", "SOCKET时间")},
        {"ReplyErr", QT_TRANSLATE_NOOP("ServerRowModel", "SOCKET错误")},
        {"PingTime", QT_TRANSLATE_NOOP("ServerRowModel", "Ping延时")},
        {"PingErr", QT_TRANSLATE_NOOP("ServerRowModel", "Ping错误")},
        {"PingState", QT_TRANSLATE_NOOP("ServerRowModel", "Ping明细")},
        {"PostData", QT_TRANSLATE_NOOP("ServerRowModel", "WinSock发送数据")},
        {"ReplyData", QT_TRANSLATE_NOOP("ServerRowModel", "正确应答数据")},
        {"AddTime", QT_TRANSLATE_NOOP("ServerRowModel", "入库时间")},
    }};
    return info;
}

QString shownText(const QString& text, bool oneLine) {
    QString shown =
        text.size() > DisplayLimit ? text.left(DisplayLimit) + QStringLiteral("…") : text;
    const auto lineBreak = [](QChar ch) { return ch == u'\r' || ch == u'\n'; };
    if (oneLine && std::any_of(shown.cbegin(), shown.cend(), lineBreak)) {
        shown.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
        shown.replace(QLatin1Char('\n'), QLatin1Char(' '));
        shown.replace(QLatin1Char('\r'), QLatin1Char(' '));
    }
    return shown;
}
} // namespace

// The TLS side of a row, only for rows whose probe is secured.
struct ServerRowModel::RowTls : QSharedData {
    TlsOptions options;
    std::optional<CertificateFacts> facts;
    qint64 handshakeUs = 0;
    qint32 certWarnDays = 0;
    bool fault = false;
    QString certNotified;

    qsizetype retainedBytes() const {
        qsizetype bytes =
            sizeof(RowTls) +
            (options.serverName.capacity() + certNotified.capacity()) * qsizetype(sizeof(QChar));
        if (facts) {
            for (const QString* text :
                 {&facts->subject, &facts->issuer, &facts->protocol, &facts->cipher})
                bytes += text->capacity() * qsizetype(sizeof(QChar));
        }
        return bytes;
    }
};

// The HTTP side of a row, only for rows checked over HTTP(S).
struct ServerRowModel::RowHttp : QSharedData {
    HttpCheck check;
    std::optional<HttpExchangeFacts> facts;

    qsizetype retainedBytes() const {
        qsizetype bytes = sizeof(RowHttp);
        for (const QString* text :
             {&check.url, &check.method, &check.headers, &check.status, &check.jsonCondition})
            bytes += text->capacity() * qsizetype(sizeof(QChar));
        return bytes;
    }
};

struct ServerRowModel::Row {
    RowKey key = 0;
    RowKey order = 0; // ascending from the first row to the last
    CellTexts texts;
    SparseCellTexts tags;
    SparseCellTexts toolTips; // those set since the row was loaded
    QByteArray reply;         // the kept start of the last reply, GBK
    bool replyCut = false;
    bool replyTip = false;        // the ReplyData tool-tip is the last reply
    bool statusWithReply = false; // Status is texts[Status] + the last reply
    bool checked = false;
    qint32 lostPings = 0;
    qint32 averagePingMs = 0;
    qint32 pingTipLost = 0;
    qint32 pingTipPasses = 0; // 0: PingState has no tip of its own
    qint64 probeStartedMs = 0;
    RowColour colour;
    qint32 warnMs = 0;
    qint64 silencedUntil = 0;
    qint64 parentId = 0;
    qint64 revision = 0;
    quint8 marks = 0;
    QSharedDataPointer<RowTls> tls;   // null for a plain row
    QSharedDataPointer<RowHttp> http; // null for a TCP row

    QString replyText() const {
        return replyCut ? GbkText::decode(reply) + QStringLiteral("…") : GbkText::decode(reply);
    }
    QString text(int column) const {
        return column == Status && statusWithReply ? texts.at(column) + replyText()
                                                   : texts.at(column);
    }
    // Until set otherwise, the catalogue's texts are their own tips.
    QString storedToolTip(int column) const {
        if (const QString* tip = toolTips.find(column))
            return *tip;
        if (column == PingState && pingTipPasses > 0)
            return texts.at(column) + QLatin1Char('(') + QString::number(pingTipLost) +
                   QLatin1Char('/') + QString::number(pingTipPasses) + QLatin1Char(')');
        return isCatalogueText(column) ? texts.at(column) : QString();
    }
    QString toolTip(int column) const {
        return column == ReplyData && replyTip ? replyText() : storedToolTip(column);
    }
    static bool isCatalogueText(int column) {
        return column == DisplayName || column == IPAddress || column == Port ||
               column == PostData || column == ReplyData;
    }
};

ServerRowModel::ServerRowModel(QObject* parent)
    : QAbstractTableModel(parent) {}

ServerRowModel::~ServerRowModel() = default;

QString ServerRowModel::columnKey(Column column) {
    return QString::fromLatin1(columnInfo().at(column).key);
}

int ServerRowModel::columnOfKey(const QString& key) {
    for (int column = 0; column < ColumnCount; ++column) {
        if (key == QLatin1String(columnInfo().at(column).key))
            return column;
    }
    return -1;
}

QString ServerRowModel::headerCaption(Column column) {
    return tr(columnInfo().at(column).caption);
}

void ServerRowModel::fillRow(Row& row, const ServerRecord& record) {
    row.checked = record.inUse;
    row.warnMs = record.warnMs;
    row.silencedUntil = record.silencedUntil;
    row.parentId = record.parentId;
    row.revision = record.revision;
    const bool http = record.checkKind == ServerRecord::CheckKind::Http;
    if (http) {
        row.http = new RowHttp;
        row.http->check = HttpCheck::of(record);
    }
    if (!record.tls.isPlain() || (http && row.http->check.isSecure())) {
        row.tls = new RowTls;
        row.tls->options = record.tls;
        row.tls->certWarnDays = record.certWarnDays;
        row.tls->certNotified = record.certNotified;
    }
    row.texts[ID] = QString::number(record.id);
    row.texts[DisplayName] = record.displayName;
    row.texts[IPAddress] = record.ipAddress;
    row.texts[Port] = record.port;
    row.texts[PostData] = record.postData;
    row.texts[ReplyData] = record.replyData;
    row.texts[AddTime] = record.addTime;
    row.texts[Status] = SharedTranslations::text("ServerRowModel",
                                                 QT_TRANSLATE_NOOP("ServerRowModel", "初始化完成"));
    for (Column column : {ReplyTime, ReplyErr, PingTime, PingErr})
        row.texts[column] = QStringLiteral("0");
}

void ServerRowModel::resetRows(const QList<ServerRecord>& records) {
    beginResetModel();
    // The old rows are freed a batch per turn of the event loop, as freeing
    // ten thousand rows at once takes longer than making them. Their list
    // keeps its memory for the rows of the reload after, which are then made
    // without taking fresh pages.
    QList<Row> old;
    old.swap(m_rows);
    if (m_warming) {
        m_retired.clear();
        m_warming = false;
    }
    if (m_retired.isEmpty())
        m_rows.swap(m_retired);
    m_orderOfNewKey.clear();
    m_rows.reserve(records.size());
    for (const ServerRecord& record : records) {
        Row& row = m_rows.emplaceBack();
        row.key = row.order = m_nextKey++;
        fillRow(row, record);
    }
    endResetModel();
    retire(std::move(old));
}

void ServerRowModel::replaceRow(int row, const ServerRecord& record) {
    if (row < 0 || row >= m_rows.size())
        return;
    Row fresh;
    fresh.key = m_nextKey++;
    fresh.order = m_rows.at(row).order;
    fillRow(fresh, record);
    const RowKey oldKey = m_rows.at(row).key;
    m_orderOfNewKey.remove(oldKey);
    m_orderOfNewKey.insert(fresh.key, fresh.order);
    m_rows[row] = std::move(fresh);
    emit rowReplaced(row, oldKey);
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void ServerRowModel::appendRows(const QList<ServerRecord>& records) {
    if (records.isEmpty())
        return;
    const int first = static_cast<int>(m_rows.size());
    beginInsertRows({}, first, first + static_cast<int>(records.size()) - 1);
    for (const ServerRecord& record : records) {
        Row& row = m_rows.emplaceBack();
        row.key = row.order = m_nextKey++;
        fillRow(row, record);
    }
    endInsertRows();
}

void ServerRowModel::retire(QList<Row>&& rows) {
    // A reload while the last one's rows are still being freed frees its own
    // at once.
    if (!m_retired.isEmpty()) {
        rows = QList<Row>();
        return;
    }
    if (rows.isEmpty()) {
        warmSpareRows();
        return;
    }
    m_retired = std::move(rows);
    QTimer::singleShot(0, this, &ServerRowModel::freeRetiredBatch);
}

void ServerRowModel::setSpareRowsKept(bool kept) {
    m_spareKept = kept;
    warmSpareRows();
}

qsizetype ServerRowModel::spareRows() const {
    return m_warming || !m_retired.isEmpty() ? 0 : m_retired.capacity();
}

void ServerRowModel::warmSpareRows() {
    if (!m_spareKept || m_warming || !m_retired.isEmpty() || m_retired.capacity() >= m_rows.size())
        return;
    m_warming = true;
    QTimer::singleShot(0, this, &ServerRowModel::warmSpareBatch);
}

// Empty rows are made in the spare memory, which takes its pages, and go
// again once it is full; the memory stays.
void ServerRowModel::warmSpareBatch() {
    if (!m_warming)
        return;
    const qsizetype target = m_rows.size();
    if (m_retired.capacity() < target)
        m_retired.reserve(target);
    m_retired.resize(qMin(target, m_retired.size() + WarmedPerTurn));
    if (m_retired.size() < target) {
        QTimer::singleShot(0, this, &ServerRowModel::warmSpareBatch);
        return;
    }
    m_retired.clear();
    m_warming = false;
}

void ServerRowModel::freeRetiredBatch() {
    m_retired.resize(qMax<qsizetype>(0, m_retired.size() - RetiredFreedPerTurn));
    if (!m_retired.isEmpty())
        QTimer::singleShot(0, this, &ServerRowModel::freeRetiredBatch);
    else
        warmSpareRows();
}

void ServerRowModel::removeRowAt(int row) {
    if (row < 0 || row >= m_rows.size())
        return;
    beginRemoveRows({}, row, row);
    m_orderOfNewKey.remove(m_rows.at(row).key);
    m_rows.removeAt(row);
    endRemoveRows();
}

QModelIndex ServerRowModel::index(int row, int column, const QModelIndex& parent) const {
    // As the table model's, without asking for the row and column counts:
    // a sort asks for two indexes per comparison.
    return !parent.isValid() && row >= 0 && row < m_rows.size() && column >= 0 &&
                   column < ColumnCount
               ? createIndex(row, column)
               : QModelIndex();
}

int ServerRowModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ServerRowModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ServerRowModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row& row = m_rows.at(index.row());
    const int column = index.column();
    const bool silenceMark = column == DisplayName && row.silencedUntil != 0;
    switch (role) {
    case Qt::DisplayRole:
        if (column == DisplayName && (silenceMark || row.marks != NoMark))
            return markedName(row.silencedUntil != 0, row.marks) +
                   shownText(row.text(column), true);
        return shownText(row.text(column), true);
    case Qt::ToolTipRole: {
        // Tips hold replies and catalogue texts: never taken for markup.
        const QString tip = silenceMark ? row.toolTip(column) + QStringLiteral("\r\n") +
                                              silenceNote(row.silencedUntil)
                                        : row.toolTip(column);
        return tip.isEmpty() ? QVariant() : QVariant(PlainText::asRichText(shownText(tip, false)));
    }
    case Qt::CheckStateRole:
        return column == ID ? QVariant(row.checked ? Qt::Checked : Qt::Unchecked) : QVariant();
    case Qt::BackgroundRole:
    case Qt::ForegroundRole:
        return row.colour.isValid() ? colourData(row.colour, role) : QVariant();
    case TagRole:
        return row.tags.value(column);
    case KeyRole:
        return row.key;
    case FullTextRole:
        return row.text(column);
    default:
        return {};
    }
}

bool ServerRowModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || index.column() != ID ||
        !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return false;
    const bool checked = value.value<Qt::CheckState>() == Qt::Checked;
    Row& row = m_rows[index.row()];
    if (row.checked == checked)
        return true;
    row.checked = checked;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    emit checkToggled(row.key, checked);
    return true;
}

Qt::ItemFlags ServerRowModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == ID)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

QVariant ServerRowModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    // The tip shows the whole caption, also where a narrow column cuts it short.
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return headerCaption(static_cast<Column>(section));
    if (role == KeyRole)
        return columnKey(static_cast<Column>(section));
    return {};
}

ServerRowModel::RowKey ServerRowModel::keyAt(int row) const {
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).key : 0;
}

int ServerRowModel::rowOfKey(RowKey key) const {
    // Orders are handed out in ascending order and rows keep their load
    // order, so a binary search finds the row even after rows were removed.
    const RowKey order = m_orderOfNewKey.value(key, key);
    const auto found = std::lower_bound(m_rows.cbegin(), m_rows.cend(), order,
                                        [](const Row& row, RowKey o) { return row.order < o; });
    return found != m_rows.cend() && found->key == key
               ? static_cast<int>(std::distance(m_rows.cbegin(), found))
               : -1;
}

void ServerRowModel::cellChanged(int row, Column column, const QList<int>& roles) {
    const QModelIndex cell = index(row, column);
    emit dataChanged(cell, cell, roles);
}

QString ServerRowModel::text(int row, Column column) const {
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).text(column) : QString();
}

// A status that showed the last reply shows the new text from now on.
void ServerRowModel::setText(int row, Column column, const QString& text) {
    if (row < 0 || row >= m_rows.size())
        return;
    Row& r = m_rows[row];
    const bool fromReply = column == Status && r.statusWithReply;
    if (!fromReply && r.texts.at(column) == text)
        return;
    if (fromReply)
        r.statusWithReply = false;
    r.texts[column] = text;
    cellChanged(row, column, {Qt::DisplayRole, FullTextRole});
}

QString ServerRowModel::tag(int row, Column column) const {
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).tags.value(column) : QString();
}

void ServerRowModel::setTag(int row, Column column, const QString& tag) {
    if (row < 0 || row >= m_rows.size() || m_rows.at(row).tags.value(column) == tag)
        return;
    m_rows[row].tags.set(column, tag);
    cellChanged(row, column, {TagRole});
}

QString ServerRowModel::toolTip(int row, Column column) const {
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).toolTip(column) : QString();
}

// A reply data tip that showed the last reply shows the new tip from now on.
void ServerRowModel::setToolTip(int row, Column column, const QString& toolTip) {
    if (row < 0 || row >= m_rows.size())
        return;
    Row& r = m_rows[row];
    const bool fromReply = column == ReplyData && r.replyTip;
    if (!fromReply && r.storedToolTip(column) == toolTip)
        return;
    if (fromReply)
        r.replyTip = false;
    r.toolTips.set(column, toolTip);
    cellChanged(row, column, {Qt::ToolTipRole});
}

void ServerRowModel::setLastReply(int row, const QByteArray& reply) {
    if (row < 0 || row >= m_rows.size())
        return;
    Row& r = m_rows[row];
    // A copy of its own, so the whole reply is released with the caller's.
    const qsizetype kept = GbkText::wholeCharacters(reply, ReplyKeptBytes);
    r.reply = QByteArray(reply.constData(), kept);
    r.replyCut = kept < reply.size();
    r.replyTip = true;
    const QModelIndex tip = index(row, ReplyData);
    emit dataChanged(tip, tip, {Qt::ToolTipRole});
    if (r.statusWithReply) {
        const QModelIndex status = index(row, Status);
        emit dataChanged(status, status, {Qt::DisplayRole, FullTextRole});
    }
}

void ServerRowModel::setStatusWithReply(int row, const QString& prefix) {
    if (row < 0 || row >= m_rows.size())
        return;
    Row& r = m_rows[row];
    r.texts[Status] = prefix;
    r.statusWithReply = true;
    const QModelIndex status = index(row, Status);
    emit dataChanged(status, status, {Qt::DisplayRole, FullTextRole});
}

qsizetype ServerRowModel::retainedBytes(int row) const {
    if (row < 0 || row >= m_rows.size())
        return 0;
    const Row& r = m_rows.at(row);
    qsizetype bytes = sizeof(Row) + r.reply.capacity() + (r.tls ? r.tls->retainedBytes() : 0) +
                      (r.http ? r.http->retainedBytes() : 0) + r.tags.retainedBytes() +
                      r.toolTips.retainedBytes();
    for (const QString& text : r.texts)
        bytes += text.capacity() * qsizetype(sizeof(QChar));
    return bytes;
}

bool ServerRowModel::isChecked(int row) const {
    return row >= 0 && row < m_rows.size() && m_rows.at(row).checked;
}

void ServerRowModel::setChecked(int row, bool checked) {
    if (row < 0 || row >= m_rows.size() || m_rows.at(row).checked == checked)
        return;
    m_rows[row].checked = checked;
    const QModelIndex cell = index(row, ID);
    emit dataChanged(cell, cell, {Qt::CheckStateRole});
}

qint32 ServerRowModel::lostPings(int row) const {
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).lostPings : 0;
}

// The tip is made when asked for: a hundred thousand rows keep two numbers
// instead of a second copy of the text.
void ServerRowModel::setPingState(int row, const QString& state, qint32 lost, qint32 passes) {
    if (row < 0 || row >= m_rows.size())
        return;
    Row& r = m_rows[row];
    if (r.pingTipLost != lost || r.pingTipPasses != passes) {
        r.pingTipLost = lost;
        r.pingTipPasses = passes;
        cellChanged(row, PingState, {Qt::ToolTipRole});
    }
    setText(row, PingState, state);
}

void ServerRowModel::setLostPings(int row, qint32 count) {
    if (row >= 0 && row < m_rows.size())
        m_rows[row].lostPings = count;
}

qint32 ServerRowModel::averagePingMs(int row) const {
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).averagePingMs : 0;
}

void ServerRowModel::setAveragePingMs(int row, qint32 ms) {
    if (row >= 0 && row < m_rows.size())
        m_rows[row].averagePingMs = ms;
}

qint64 ServerRowModel::probeStartedMs(int row) const {
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).probeStartedMs : 0;
}

void ServerRowModel::setProbeStartedMs(int row, qint64 ms) {
    if (row >= 0 && row < m_rows.size())
        m_rows[row].probeStartedMs = ms;
}

QVariant ServerRowModel::colourData(const RowColour&, int) const {
    return {};
}

RowColour ServerRowModel::rowColour(int row) const {
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).colour : RowColour();
}

void ServerRowModel::setRowColour(int row, const RowColour& colour) {
    if (row < 0 || row >= m_rows.size() || m_rows.at(row).colour == colour)
        return;
    m_rows[row].colour = colour;
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1),
                     {Qt::BackgroundRole, Qt::ForegroundRole});
}

qint32 ServerRowModel::warnMs(int row) const {
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).warnMs : 0;
}

qint64 ServerRowModel::silencedUntil(int row) const {
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).silencedUntil : 0;
}

void ServerRowModel::setSilencedUntil(int row, qint64 until) {
    if (row < 0 || row >= m_rows.size() || m_rows.at(row).silencedUntil == until)
        return;
    m_rows[row].silencedUntil = until;
    const QModelIndex name = index(row, DisplayName);
    emit dataChanged(name, name, {Qt::DisplayRole, Qt::ToolTipRole});
}

qint64 ServerRowModel::parentId(int row) const {
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).parentId : 0;
}

qint64 ServerRowModel::revision(int row) const {
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).revision : 0;
}

quint8 ServerRowModel::marks(int row) const {
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).marks : 0;
}

void ServerRowModel::setMark(int row, Mark mark, bool on) {
    if (row < 0 || row >= m_rows.size())
        return;
    const quint8 marks = on ? m_rows.at(row).marks | mark : m_rows.at(row).marks & ~mark;
    if (marks == m_rows.at(row).marks)
        return;
    m_rows[row].marks = marks;
    const QModelIndex name = index(row, DisplayName);
    emit dataChanged(name, name, {Qt::DisplayRole});
}

QString ServerRowModel::markedName(bool silenced, quint8 marks) {
    QString prefix;
    if (silenced)
        prefix += tr("【静默】");
    if (marks & MaintenanceMark)
        prefix += tr("【维护】");
    if (marks & FlappingMark)
        prefix += tr("【频繁】");
    return prefix;
}

QString ServerRowModel::silenceNote(qint64 until) {
    if (until == ServerRecord::SilencedUntilRecovery)
        return tr("静默至恢复");
    return tr("静默至") +
           QDateTime::fromMSecsSinceEpoch(until).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

TlsOptions ServerRowModel::tlsOptions(int row) const {
    return row >= 0 && row < m_rows.size() && m_rows.at(row).tls ? m_rows.at(row).tls->options
                                                                 : TlsOptions();
}

void ServerRowModel::setTlsOptions(int row, const TlsOptions& options) {
    if (row < 0 || row >= m_rows.size())
        return;
    Row& r = m_rows[row];
    if (options.isPlain()) {
        r.tls.reset();
        return;
    }
    if (!r.tls)
        r.tls = new RowTls;
    r.tls->options = options;
}

qint32 ServerRowModel::certWarnDays(int row) const {
    return row >= 0 && row < m_rows.size() && m_rows.at(row).tls ? m_rows.at(row).tls->certWarnDays
                                                                 : 0;
}

QString ServerRowModel::certNotified(int row) const {
    return row >= 0 && row < m_rows.size() && m_rows.at(row).tls ? m_rows.at(row).tls->certNotified
                                                                 : QString();
}

void ServerRowModel::setCertNotified(int row, const QString& notified) {
    if (row >= 0 && row < m_rows.size() && m_rows.at(row).tls)
        m_rows[row].tls->certNotified = notified;
}

bool ServerRowModel::tlsFault(int row) const {
    return row >= 0 && row < m_rows.size() && m_rows.at(row).tls && m_rows.at(row).tls->fault;
}

void ServerRowModel::setTlsFault(int row, bool fault) {
    if (row >= 0 && row < m_rows.size() && m_rows.at(row).tls && m_rows.at(row).tls->fault != fault)
        m_rows[row].tls->fault = fault;
}

const CertificateFacts* ServerRowModel::certificateFacts(int row) const {
    if (row < 0 || row >= m_rows.size() || !m_rows.at(row).tls || !m_rows.at(row).tls->facts)
        return nullptr;
    return &*m_rows.at(row).tls->facts;
}

qint64 ServerRowModel::tlsHandshakeUs(int row) const {
    return row >= 0 && row < m_rows.size() && m_rows.at(row).tls ? m_rows.at(row).tls->handshakeUs
                                                                 : 0;
}

void ServerRowModel::setTlsHandshake(int row, const CertificateFacts& facts, qint64 handshakeUs) {
    if (row < 0 || row >= m_rows.size())
        return;
    Row& r = m_rows[row];
    if (!r.tls)
        r.tls = new RowTls;
    r.tls->facts = facts;
    r.tls->handshakeUs = handshakeUs;
}

const HttpCheck* ServerRowModel::httpCheck(int row) const {
    if (row < 0 || row >= m_rows.size() || !m_rows.at(row).http)
        return nullptr;
    return &m_rows.at(row).http->check;
}

void ServerRowModel::setHttpCheck(int row, const HttpCheck* check) {
    if (row < 0 || row >= m_rows.size())
        return;
    Row& r = m_rows[row];
    if (!check) {
        r.http.reset();
        return;
    }
    if (!r.http)
        r.http = new RowHttp;
    r.http->check = *check;
}

const HttpExchangeFacts* ServerRowModel::httpFacts(int row) const {
    if (row < 0 || row >= m_rows.size() || !m_rows.at(row).http || !m_rows.at(row).http->facts)
        return nullptr;
    return &*m_rows.at(row).http->facts;
}

void ServerRowModel::setHttpFacts(int row, const HttpExchangeFacts& facts) {
    if (row >= 0 && row < m_rows.size() && m_rows.at(row).http)
        m_rows[row].http->facts = facts;
}
