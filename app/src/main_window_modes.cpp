// TMain, the modes: Edit, Debug and Run, the asynchronous stop of the engine on the way to Edit or to the
// program's end, and the operation password that guards both.
#include "main_window.hpp"

#include "password_dialog.hpp"
#include "prompts.hpp"
#include "model/server.hpp"

#include <QCloseEvent>

namespace tagsink::app {

void TMain::EndProgram() {
    if (OnEndProgram) {
        OnEndProgram();
    }
}

void TMain::FileExit() {
    std::optional<QString> password = CurrentPrompts().AskPassword();
    if (!password) {
        return;
    }
    if (!IsOperationPassword(*password)) {
        CurrentPrompts().Message(tr("提示"), tr("操作密码错误!"), QMessageBox::Warning);
        return;
    }
    if (server_->Dirty()) {
        switch (CurrentPrompts().AskYesNoCancel(tr("提示"), tr("设置信息发生变化,是否保存?"))) {
        case QMessageBox::Yes:
            FileSave(); // a failed save raises: the program does not end
            break;
        case QMessageBox::No:
            break;
        default:
            return;
        }
    }
    if (stopping_) {
        // The stop under way (towards Edit) ends the program when it is complete.
        end_after_stop_ = true;
        mode_after_stop_.reset();
        return;
    }
    end_after_stop_ = true; // also when the window is closed meanwhile: the program ends once
    StopEngine([] {});
}

void TMain::StopEngine(std::function<void()> then) {
    stopping_ = true;
    ModePanel->setText(tr("Stopping"));
    ModePanel->setToolTip(tr("The record thread executes what it can and keeps the rest in "
                             "\"sql.dat\" for the next run"));
    for (QAction* action : {actModeEdit, actModeDebug, actModeRun}) {
        action->setEnabled(false);
    }
    ColourLinkPanels();
    // Runs before RequestStop returns when there is no record thread to wait for.
    engine_->RequestStop([this, then = std::move(then)] { StopFinished(then); });
}

void TMain::StopFinished(const std::function<void()>& then) {
    if (destroying_) {
        return;
    }
    stopping_ = false;
    ModePanel->setToolTip(QString());
    for (QAction* action : {actModeEdit, actModeDebug, actModeRun}) {
        action->setEnabled(true);
    }
    ModePanel->setText(mode_ == rmEdit ? tr("Edit") : mode_ == rmDebug ? tr("Debug") : tr("Run"));
    Guarded([&then] { then(); });
    if (end_after_stop_) {
        end_after_stop_ = false;
        mode_after_stop_.reset();
        EndProgram();
        return;
    }
    if (mode_after_stop_) {
        TRunMode next = *mode_after_stop_;
        mode_after_stop_.reset();
        Guarded([this, next] { SetMode(next); });
    }
    SyncModeMark();
}

void TMain::SetMode(TRunMode mode) {
    if (stopping_) {
        // The engine's thread still finishes: the last request is carried out once it has ended.
        if (mode == rmEdit) {
            mode_after_stop_.reset();
        } else {
            mode_after_stop_ = mode;
        }
        SyncModeMark();
        return;
    }
    if (mode == rmDebug || mode == rmRun) {
        if (mode_ == rmEdit) {
            engine_->Run();
        }
        Inspector->SetReadOnly(true);
        mode_ = mode;
        actEditAdd->setEnabled(false);
        actEditDelete->setEnabled(false);
        actEditCheck->setEnabled(false);
        ModePanel->setText(mode == rmDebug ? tr("Debug") : tr("Run"));
        for (int column : {kValueColumn, kQualityColumn, kTimeColumn}) {
            lvItems->setColumnHidden(column, false);
        }
        HealthPanel->setVisible(true);
        LiveTimer->start();
        RefreshLive();
    } else if (mode_ == rmEdit) {
        engine_->Stop(); // nothing runs: only the link texts are set again
        EnterEdit();
    } else {
        StopEngine([this] { EnterEdit(); });
    }
    SyncModeMark();
}

void TMain::EnterEdit() {
    mode_ = rmEdit;
    actEditAdd->setEnabled(true);
    actEditDelete->setEnabled(true);
    actEditCheck->setEnabled(true);
    Inspector->SetReadOnly(false);
    ModePanel->setText(tr("Edit"));
    LiveTimer->stop();
    for (int column : {kValueColumn, kQualityColumn, kTimeColumn}) {
        lvItems->setColumnHidden(column, true);
    }
    HealthPanel->setVisible(false);
    ColourLinkPanels();
    SyncModeMark();
}

void TMain::SyncModeMark() {
    QAction* mark = mode_ == rmEdit ? actModeEdit : mode_ == rmDebug ? actModeDebug : actModeRun;
    mark->setChecked(true);
}

void TMain::ModeEdit() {
    std::optional<QString> password = CurrentPrompts().AskPassword();
    if (password && IsOperationPassword(*password)) {
        SetMode(rmEdit);
    }
}

void TMain::closeEvent(QCloseEvent* event) {
    if (stopping_) {
        // On the way to Edit (the password was given) or to the program's end: end once stopped.
        event->accept();
        end_after_stop_ = true;
        mode_after_stop_.reset();
        return;
    }
    if (mode_ != rmEdit || checking_) {
        event->ignore(); // a running check ends first: it holds the OPC session and the database
        return;
    }
    event->accept();
    engine_->Stop();
    EndProgram();
}

} // namespace tagsink::app
