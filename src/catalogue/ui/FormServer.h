#pragma once

#include "catalogue/ui/ServerEditor.h"

// Adds servers to the catalogue. It stays open after a save, so the same
// data can be saved again; 退出 asks for the monitored servers to be
// reloaded, closing by the window frame does not.
class FormServer final : public ServerEditor {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FormServer)
public:
    explicit FormServer(QWidget* parent = nullptr);
    ~FormServer() override;

private:
    void CmdSave_Click();
    void CmdCancel_Click();
};
