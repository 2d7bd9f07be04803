#pragma once

#include "monitor/RowColour.h"
#include "monitor/ServerRecord.h"
#include "tls/TlsOptions.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>

#include <array>

struct CertificateFacts;
struct HttpCheck;
struct HttpExchangeFacts;

// The rows of the result list LstResult: one row per loaded server, 13
// columns addressed by key, a tag and a tool-tip per cell, the check box in
// the ID column and the row's side data (echo statistics, probe start,
// colour). Each row has a stable key that survives sorting and filtering.
// The window's subclass paints the row colour; without it rows carry the
// colour but show none.
class ServerRowModel : public QAbstractTableModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ServerRowModel)
public:
    enum Column {
        ID,
        DisplayName,
        IPAddress,
        Port,
        Status,
        ReplyTime,
        ReplyErr,
        PingTime,
        PingErr,
        PingState,
        PostData,
        ReplyData,
        AddTime,
        ColumnCount
    };
    enum Role {
        TagRole = Qt::UserRole + 1, // the cell's tag text
        KeyRole,                    // the row's stable key (quint64)
        FullTextRole,               // the cell's whole text (display is capped)
    };
    using RowKey = quint64;
    static constexpr qsizetype ReplyKeptBytes = 4096;

    explicit ServerRowModel(QObject* parent = nullptr);
    ~ServerRowModel() override;

    static QString columnKey(Column column);
    static int columnOfKey(const QString& key); // -1 when no column has that key
    static QString headerCaption(Column column);

    // Replaces every row; each gets the texts of a freshly loaded row and new side data.
    void resetRows(const QList<ServerRecord>& records);
    // Keeps the memory for a second list of rows ready, taken a batch per
    // turn of the event loop after a load, so that a reload fills it instead
    // of waiting for fresh pages (for ten thousand rows, tens of ms at once).
    // For the window, which must not be held up; off by default.
    void setSpareRowsKept(bool kept);
    // The rows the spare memory holds once it is ready; 0 until then.
    qsizetype spareRows() const;
    // Makes the row a freshly loaded row of the record, in its place. It gets
    // a new key, so nothing kept for the old one (a probe still running) is
    // ever applied to it.
    void replaceRow(int row, const ServerRecord& record);
    // Adds freshly loaded rows of the records after the last row.
    void appendRows(const QList<ServerRecord>& records);
    void removeRowAt(int row);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    RowKey keyAt(int row) const;
    int rowOfKey(RowKey key) const; // -1 when the row is gone

    QString text(int row, Column column) const;
    void setText(int row, Column column, const QString& text);
    QString tag(int row, Column column) const;
    void setTag(int row, Column column, const QString& tag);
    QString toolTip(int row, Column column) const;
    void setToolTip(int row, Column column, const QString& toolTip);
    // The last reply of the row's probe, shown as the ReplyData tool-tip from
    // now on. The row keeps only its first ReplyKeptBytes bytes (whole
    // characters, followed by "…" when cut): enough for what a cell shows.
    void setLastReply(int row, const QByteArray& reply);
    // Status becomes prefix followed by the last reply.
    void setStatusWithReply(int row, const QString& prefix);
    // The bytes the row holds: its texts, its last reply and its side data.
    qsizetype retainedBytes(int row) const;
    bool isChecked(int row) const;
    void setChecked(int row, bool checked);

    qint32 lostPings(int row) const;
    void setLostPings(int row, qint32 count);
    // The echo statistics text; its tool-tip adds "(lost/passes)".
    void setPingState(int row, const QString& state, qint32 lost, qint32 passes);
    qint32 averagePingMs(int row) const;
    void setAveragePingMs(int row, qint32 ms);
    qint64 probeStartedMs(int row) const; // monotonic start of the pending probe
    void setProbeStartedMs(int row, qint64 ms);
    RowColour rowColour(int row) const; // invalid: default colours
    void setRowColour(int row, const RowColour& colour);
    qint32 warnMs(int row) const; // the server's slow-reply limit, 0: none
    // ServerRecord::silencedUntil of the row's server; a silenced row marks
    // its name and says until when in the name's tool-tip.
    qint64 silencedUntil(int row) const;
    void setSilencedUntil(int row, qint64 until);
    static QString silenceNote(qint64 until);
    // ServerRecord::parentId of the row's server; 0 without a parent.
    qint64 parentId(int row) const;
    // ServerRecord::revision of the server as the row was loaded.
    qint64 revision(int row) const;
    // Decorations of the name cell besides the silence mark: shown before
    // the name, never part of its text.
    enum Mark : quint8 { NoMark = 0, MaintenanceMark = 1, FlappingMark = 2 };
    quint8 marks(int row) const;
    void setMark(int row, Mark mark, bool on);
    // How the row's probe secures its connection: plain unless set. A plain
    // row holds nothing for TLS. A row made secure here, not loaded so, has
    // no expiry threshold.
    TlsOptions tlsOptions(int row) const;
    void setTlsOptions(int row, const TlsOptions& options);
    // ServerRecord::certWarnDays of a secured row's server; 0 for a plain row.
    qint32 certWarnDays(int row) const;
    // The certificate notice last given for the row's server
    // (ServerRecord::certNotified); kept only by a secured row.
    QString certNotified(int row) const;
    void setCertNotified(int row, const QString& notified);
    // Whether the row's last socket error was a TLS fault (a failed
    // handshake or STARTTLS exchange, a refused certificate); kept only by a
    // secured row.
    bool tlsFault(int row) const;
    void setTlsFault(int row, bool fault);
    // What the row's last completed handshake found, and how long it took;
    // replaced by the next one. nullptr and 0 before the first.
    const CertificateFacts* certificateFacts(int row) const;
    qint64 tlsHandshakeUs(int row) const;
    void setTlsHandshake(int row, const CertificateFacts& facts, qint64 handshakeUs);

    // The HTTP(S) check of the row's server; nullptr for a TCP row, which
    // holds nothing for HTTP. An HTTPS row holds what a secured row holds
    // for TLS: the expiry threshold, the notice given, the facts.
    const HttpCheck* httpCheck(int row) const;
    // Makes the row an HTTP row with check, or a TCP row again with nullptr.
    void setHttpCheck(int row, const HttpCheck* check);
    // What the row's last HTTP exchange found; replaced by the next one.
    // nullptr before the first.
    const HttpExchangeFacts* httpFacts(int row) const;
    void setHttpFacts(int row, const HttpExchangeFacts& facts);

signals:
    // The operator ticked or cleared a row's check box.
    void checkToggled(ServerRowModel::RowKey key, bool checked);
    // replaceRow gave the row a new key: whatever was kept for oldKey is stale.
    void rowReplaced(int row, ServerRowModel::RowKey oldKey);

protected:
    // The background or foreground (role) of a row painted in colour.
    virtual QVariant colourData(const RowColour& colour, int role) const;

private:
    struct Row;
    static QString markedName(bool silenced, quint8 marks);
    struct RowTls;
    struct RowHttp;
    using CellTexts = std::array<QString, ColumnCount>;
    void cellChanged(int row, Column column, const QList<int>& roles);
    // Gives a new row the record's texts and settings.
    static void fillRow(Row& row, const ServerRecord& record);

    void retire(QList<Row>&& rows);
    void freeRetiredBatch();
    void warmSpareRows();
    void warmSpareBatch();
    static constexpr qsizetype RetiredFreedPerTurn = 2048;
    static constexpr qsizetype WarmedPerTurn = 1024;

    QList<Row> m_rows;
    QList<Row> m_retired; // replaced rows, freed a batch per turn; then spare memory
    bool m_spareKept = false;
    bool m_warming = false; // m_retired holds empty rows that take its memory
    RowKey m_nextKey = 1;
    // Rows are ordered by Row::order, which is their key unless replaceRow
    // gave them a new one: the order of those keys.
    QHash<RowKey, RowKey> m_orderOfNewKey;
};
