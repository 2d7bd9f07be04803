#pragma once

class QCoreApplication;

// Qt's own texts (standard buttons, text-box context menus, socket error
// descriptions) in Chinese, like every other text of the program.
class QtTranslations final {
public:
    QtTranslations() = delete;

    // Installs Qt's Chinese translations on the application; false when they
    // are not installed on this system, which leaves Qt's texts English.
    static bool install(QCoreApplication& app);
};
