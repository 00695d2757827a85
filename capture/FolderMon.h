#pragma once
// Watches one folder (optionally with its subfolders) and reports each change, one entry at a
// time, on the thread that owns the monitor. A worker thread waits on inotify; a new file is
// reported once its writer has closed it, so a receiver never reads a half-written file.

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class QObject;

struct TFolderItemInfo {
    QString FileName; // relative to the watched folder
    uint8_t Action = 0;
};

// The texts of the actions 0 to 4.
inline const std::array<QString, 5> FolderActionNames = {
    QStringLiteral("New"), QStringLiteral("Removed"), QStringLiteral("Modified"),
    QStringLiteral("Old Name"), QStringLiteral("New name")};

// The kinds of change 0 to 7, as bits of TFolderMon events.
enum TFolderEvent : uint8_t {
    FolderEventFileName = 0,
    FolderEventDirName = 1,
    FolderEventAttributes = 2,
    FolderEventSize = 3,
    FolderEventLastWrite = 4,
    FolderEventLastAccess = 5,
    FolderEventCreation = 6,
    FolderEventSecurity = 7,
};
constexpr uint8_t FolderEventBit(int event) {
    return uint8_t(1u << event);
}

// The inotify mask that serves a set of kinds.
uint32_t FolderEventsToInotifyMask(uint8_t events);

class TFolderMon {
public:
    TFolderMon();
    ~TFolderMon(); // deactivates: the worker has ended when the monitor is gone
    TFolderMon(const TFolderMon&) = delete;
    TFolderMon& operator=(const TFolderMon&) = delete;

    const QString& Folder() const { return folder_; }
    uint8_t Events() const { return events_; }
    bool WatchSubtree = false;

    std::function<void(TFolderMon* sender, const TFolderItemInfo& info)> OnFolderChange;
    std::function<void(TFolderMon* sender)> OnDeactivated;
    std::function<void(TFolderMon* sender)> OnActivated;

    // Throws while active when the path differs other than in letter case (two existing
    // folders that differ only in case count as different).
    void SetFolder(const QString& path);
    // Throws while active when the set differs.
    void SetEvents(uint8_t events);

    void Activate();
    // Wakes the worker and waits for it: no report arrives after this returns.
    void Deactivate();
    bool IsActive() const { return worker_ != nullptr; }

private:
    class Worker;
    QString folder_;
    uint8_t events_ = 0;
    std::unique_ptr<Worker> worker_;
    std::unique_ptr<QObject> receiver_; // lives on the owner's thread; reports are queued to it
    uint64_t generation_ = 0;
};
