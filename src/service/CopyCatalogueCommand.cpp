#include "service/CopyCatalogueCommand.h"

#include "catalogue/CatalogueCopy.h"
#include "catalogue/CatalogueSchema.h"
#include "catalogue/CatalogueUri.h"
#include "catalogue/CatalogueWorker.h"
#include "catalogue/ModuleDB.h"
#include "catalogue/SqlErrorText.h"
#include "platform/AppPaths.h"
#include "service/CatalogueChoice.h"
#include "service/CommandLine.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <cstdio>

namespace CopyCatalogueCommand {
namespace {

const QString kSource = QStringLiteral("copy-catalogue-source");
const QString kTarget = QStringLiteral("copy-catalogue-target");

QString tr(const char* text) {
    return QCoreApplication::translate("CopyCatalogueCommand", text);
}

// A database holding tables of its own is no place for a catalogue; one
// holding an empty catalogue (a copy connected to it first) is.
QString refuseNonEmpty(QSqlDatabase& target) {
    QSqlQuery tables(target);
    if (!tables.exec(QStringLiteral("select lower(table_name) from information_schema.tables "
                                    "where table_schema = current_schema()")))
        return sqlErrorText(tables.lastError());
    QStringList names;
    while (tables.next())
        names << tables.value(0).toString();
    if (names.isEmpty())
        return {};
    if (!names.contains(QStringLiteral("schemaversion")))
        return tr("目标数据库不是空的(其中已有其他数据表)");
    return {};
}

QString copy(QSqlDatabase& source, QSqlDatabase& target, const CatalogueUri& uri) {
    if (const QString refused = refuseNonEmpty(target); !refused.isEmpty())
        return refused;
    QString refusal;
    if (!CatalogueSchema::prepare(target, CatalogueSchema::Dialect::Postgres, uri.displayText(),
                                  &refusal))
        return refusal.isEmpty()
                   ? tr("无法在目标数据库中建立服务器列表:") + sqlErrorText(target.lastError())
                   : refusal;
    if (CatalogueCopy::keptRowCount(target) != 0)
        return tr("目标数据库不是空的(其中已有服务器、通知渠道或维护计划)");
    if (!target.transaction() || !source.transaction())
        return sqlErrorText(target.lastError());
    const QString failed =
        CatalogueCopy::copyKeptTables(source, target, CatalogueSchema::Dialect::Postgres);
    source.rollback();
    if (!failed.isEmpty()) {
        target.rollback();
        return failed;
    }
    if (!target.commit())
        return sqlErrorText(target.lastError());
    return {};
}

void printLine(FILE* stream, const QString& text) {
    std::fputs(qPrintable(text + QLatin1Char('\n')), stream);
}

int copyInto(const CatalogueUri& uri) {
    QSqlDatabase source = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kSource);
    source.setDatabaseName(ModuleDB::DbPath());
    QString refusal;
    if (!source.open() || !CatalogueSchema::prepare(source, CatalogueSchema::Dialect::Sqlite,
                                                    ModuleDB::DbPath(), &refusal)) {
        printLine(stderr,
                  refusal.isEmpty() ? tr("无法打开服务器列表 ") + ModuleDB::DbPath() : refusal);
        return 1;
    }
    QSqlDatabase target = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), kTarget);
    CatalogueWorker::configure(target, uri);
    if (!target.open()) {
        printLine(
            stderr,
            tr("无法连接数据库 %1:%2").arg(uri.displayText(), sqlErrorText(target.lastError())));
        return 1;
    }
    const qint64 servers = CatalogueCopy::keptRowCount(source);
    if (const QString failed = copy(source, target, uri); !failed.isEmpty()) {
        printLine(stderr, tr("复制失败:") + failed);
        return 1;
    }
    printLine(stdout, tr("已把服务器列表复制到 %1(共 %2 项)").arg(uri.displayText()).arg(servers));
    return 0;
}

} // namespace

int Run(const CommandLine& commandLine) {
    AppPaths::setCurrent(
        AppPaths::decide(QCoreApplication::applicationDirPath(), commandLine.pathChoice()));
    CatalogueChoice::useConfigured();
    const CatalogueUri uri = CatalogueUri::parse(commandLine.copyTarget());
    if (!uri.isValid()) {
        printLine(stderr, uri.error());
        return 1;
    }
    const int exitCode = copyInto(uri);
    for (const QString& name : {kSource, kTarget}) {
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
    return exitCode;
}

} // namespace CopyCatalogueCommand
