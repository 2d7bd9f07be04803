#pragma once

#include "shell/AppServices.h"

#include <QPointer>
#include <QUrl>
#include <QWidget>

class QTimer;
class FormMain;

// The splash window that starts the program: it creates the main window
// hidden (which runs its whole start-up), attaches the skins, shows the
// announcement when ANNOUNCE is on, and one second later shows the main
// window and closes itself.
class FormLoading final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FormLoading)
public:
    // announcementPage: the page the announcement window shows.
    explicit FormLoading(AppServices& services, const QUrl& announcementPage,
                         QWidget* parent = nullptr);
    ~FormLoading() override;

    FormMain* mainWindow() const;
    void Timer1_Timer();

private:
    void Form_Load();

    AppServices& m_services;
    QUrl m_announcementPage;
    QPointer<FormMain> m_main;
    QTimer* Timer1;
};
