// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Morvel developers

#pragma once

// The real window of a test case on stand-in workers: the user's data and state in a scratch
// folder of the case's own, the controls found by their names.
#include "BoxWatcher.h"
#include "FormClock.h"
#include "MainUnit.h"
#include "TFakeWorker.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

class FormFixture {
protected:
    // A new scratch folder, and a window whose workers are made settled, then `prepare`d.
    void MakeForm(std::function<void(TFakeWorker&, int)> prepare = {}) {
        dataDir = std::make_unique<QTemporaryDir>();
        if (!dataDir->isValid()) {
            qFatal("no scratch folder");
        }
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataDir->path()));
        qputenv("XDG_STATE_HOME", QFile::encodeName(dataDir->path() + "/state"));
        workers = TFakeWorkers();
        workers.prepare = [prepare](TFakeWorker& worker, int slot) {
            worker.Settle();
            if (prepare) {
                prepare(worker, slot);
            }
        };
        form = std::make_unique<TMainForm>(workers.Factory());
        clock.Attach(*form);
    }
    // The window goes first: a run still going is ended, its workers told to stop.
    void DropForm() {
        form.reset();
        dataDir.reset();
    }
    void ShowAndActivate() {
        const ActivationWatcher activation(form.get());
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QTRY_VERIFY(activation.Count() > 0);
    }
    // The window itself by its own name, or the control of that name.
    template <class T = QWidget> T* Child(const QString& name) const {
        auto* child =
            name == form->objectName() ? qobject_cast<T*>(form.get()) : form->findChild<T*>(name);
        if (!child) {
            qFatal("no control %s", qPrintable(name));
        }
        return child;
    }

    std::unique_ptr<QTemporaryDir> dataDir;
    TFakeWorkers workers;
    TFormClock clock; // the ticks' clock of the form: it outlives the form
    std::unique_ptr<TMainForm> form;
};
