#pragma once

#include "catalogue/ui/ServerEditor.h"

#include <memory>
#include <optional>

// Changes or deletes one server of the catalogue, filled from the values a
// list row shows. Its title names the address being edited. A save is
// refused when the server is no longer at the revision it was opened with.
class FormServerEdit final : public ServerEditor {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FormServerEdit)
public:
    explicit FormServerEdit(const ServerRecord& server, QWidget* parent = nullptr);
    ~FormServerEdit() override;

    // The dialog for the selected row; none without a selected row, so an
    // edit never starts on a server that does not exist.
    static std::unique_ptr<FormServerEdit> forSelection(const std::optional<ServerRecord>& selected,
                                                        QWidget* parent = nullptr);

signals:
    // The server is gone from the catalogue.
    void serverDeleted(qint64 id);

private:
    void CmdSave_Click();
    void CmdDel_Click();
    void CmdCancel_Click();
    void showAddressInTitle();

    QPushButton* CmdDel;
    QLabel* lbID;
    qint64 m_id;
};
