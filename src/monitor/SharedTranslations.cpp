#include "monitor/SharedTranslations.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHash>
#include <QPointer>

namespace {

QHash<const char*, QString>& cache() {
    static QHash<const char*, QString> texts;
    return texts;
}

// Empties the cache when a translator comes or goes.
class LanguageWatch final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::LanguageChange)
            cache().clear();
        return QObject::eventFilter(watched, event);
    }
};

void watchLanguage() {
    static QPointer<LanguageWatch> watch;
    QCoreApplication* app = QCoreApplication::instance();
    if (watch || !app)
        return;
    watch = new LanguageWatch;
    watch->setParent(app);
    app->installEventFilter(watch);
}

} // namespace

const QString& SharedTranslations::text(const char* context, const char* source) {
    watchLanguage();
    auto found = cache().find(source);
    if (found == cache().end())
        found = cache().insert(source, QCoreApplication::translate(context, source));
    return *found;
}
