// UserDefaults: the app's small lasting settings, kept as a property list at
// <home>/Library/Preferences/<bundle id>.plist.
//
// Lookups search three domains in order: the app's own values, the device
// domain ("AppleLanguages" from the device profile, "AppleLocale") and the
// registration domain (registerDefaults). Writes go to the app's values.
//
// Saving: every change marks the store dirty and, if no save is pending,
// schedules one `saveDelay` later (1 s by default) on the store's private
// flusher thread, so a burst of changes is one write. synchronize() writes
// at once; the destructor and normal process exit (std::atexit for the
// standard instance) write what is pending. Each write is atomic (temporary
// file, fsync, rename; mode 0600). A file that cannot be read as a
// dictionary is moved aside to "<name>.damaged" and the store starts empty,
// with a log line; if it cannot be moved aside the store never writes, so
// nothing is lost. Changes made by other processes while the store is open
// are not merged: the last writer wins.
//
// Thread-safe: every operation may be called from any thread. The store owns
// its flusher thread and joins it on destruction.
//
// standardUserDefaults() is the documented single instance, opened from the
// current AppHome and main bundle on first use; resetStandardUserDefaults()
// saves and drops it so the next call reopens (after a home change in tests).
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/core/Value.h"

namespace murmelo {

class UserDefaults {
public:
    struct Options {
        std::chrono::milliseconds saveDelay{1000};
        // Values of the device domain; nothing means "AppleLanguages" from
        // the environment's locale.
        std::optional<Dictionary> deviceDomain;
    };

    static std::shared_ptr<UserDefaults> standardUserDefaults();
    static void resetStandardUserDefaults();
    // A store over any file (created on the first save, folders included).
    static std::shared_ptr<UserDefaults> openAtPath(const std::string& path, Options options);
    static std::shared_ptr<UserDefaults> openAtPath(const std::string& path) {
        return openAtPath(path, Options{});
    }

    ~UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    std::optional<Value> objectForKey(const std::string& key) const;
    // Strings as they are, numbers in their description ("1", "2.5"); else nothing.
    std::optional<std::string> stringForKey(const std::string& key) const;
    std::optional<Array> arrayForKey(const std::string& key) const;
    std::optional<Dictionary> dictionaryForKey(const std::string& key) const;
    std::optional<Data> dataForKey(const std::string& key) const;
    // Numbers and strings convert the platform's way ("12abc" → 12,
    // "YES"/"true"/"1" → true); anything else is 0 / false.
    long long integerForKey(const std::string& key) const;
    double doubleForKey(const std::string& key) const;
    bool boolForKey(const std::string& key) const;

    // Null removes the key. A value with no property-list form (a null inside
    // a container, a string that is not UTF-8, ...) is refused with a log
    // line and false.
    bool setObject(const Value& value, const std::string& key);
    void setInteger(long long value, const std::string& key) { setObject(Value(value), key); }
    void setDouble(double value, const std::string& key) { setObject(Value(value), key); }
    void setBool(bool value, const std::string& key) { setObject(Value(value), key); }
    void removeObjectForKey(const std::string& key);

    // Merged into the registration domain; never saved.
    void registerDefaults(const Dictionary& defaults);
    // All three domains merged (app values win).
    Dictionary dictionaryRepresentation() const;

    // Writes pending changes now. False when the write failed (logged).
    bool synchronize();

    const std::string& path() const { return m_path; }
    // Completed writes of the file; lets tests observe coalescing.
    size_t saveCount() const;
    // Waits until every change so far is on disk, or the time-out passes
    // (then false). Does not write by itself: the scheduled save does.
    bool waitUntilSaved(std::chrono::milliseconds timeout) const;

private:
    UserDefaults(std::string path, Options options);
    void load();
    void markChanged(std::unique_lock<std::mutex>& lock);
    bool save(std::unique_lock<std::mutex>& lock);
    void flusherLoop();
    void stopFlusher();
    friend void flushStandardUserDefaultsAtExit();

    const std::string m_path;
    const std::chrono::milliseconds m_saveDelay;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    mutable std::condition_variable m_savedSignal;
    Dictionary m_values;
    Dictionary m_device;
    Dictionary m_registration;
    unsigned long long m_changes = 0;      // bumped by every change
    unsigned long long m_savedChanges = 0; // m_changes at the last good write
    std::optional<std::chrono::steady_clock::time_point> m_deadline;
    bool m_stopping = false;
    bool m_writeBlocked = false; // a damaged file could not be moved aside
    size_t m_saveCount = 0;

    std::mutex m_writeMutex; // one file write at a time, outside m_mutex
    std::thread m_flusher;
};

} // namespace murmelo
