#pragma once

// The port folder of --demo: private to the user, in the session's runtime folder
// ($XDG_RUNTIME_DIR, removed when the session ends; see DemoParent) or else the temporary folder.
// The program holds a lock on it while it lives, so a folder whose lock is free was left behind by
// a program that was killed together with its simulator; the next demo removes such folders first.
//
// Thread: any; one object per demo.

#include <QString>

#include "platform/posix/Environment.h"
#include "platform/posix/UniqueFd.h"

class DemoFolder {
  public:
    // `parent`: where to make the folder; empty: the temporary folder.
    explicit DemoFolder(const QString& parent = {});
    // Removes the folder and what is left in it.
    ~DemoFolder();
    DemoFolder(const DemoFolder&) = delete;
    DemoFolder& operator=(const DemoFolder&) = delete;

    bool IsValid() const { return m_lock.Get() >= 0; }
    // Why it could not be made, when it could not.
    const QString& ErrorString() const { return m_error; }
    const QString& Path() const { return m_path; }

  private:
    QString m_path;
    QString m_error;
    posix::UniqueFd m_lock;  // open on the folder, locked
};

// Where the demo's folder goes: the session's runtime folder when it names one that exists, else
// empty (the temporary folder).
QString DemoParent(const posix::Environment& environment);

// Removes the demo folders in `parent` that belong to this user and that no living program holds;
// returns how many.
int RemoveStaleDemoFolders(const QString& parent);
