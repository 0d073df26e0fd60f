#pragma once
// The scanner session of the process: SANE is initialised once and every SANE call runs on
// one thread that the library owns, so the dialogs stay responsive while a device is
// searched, opened or read. The dialogs post jobs to that thread and get their answers
// back on the GUI thread, delivered only while the asking object still exists.

#include <sane/sane.h>
#include <sane/saneopts.h>

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QThread;

struct DeviceInfo {
    QString name;
    QString vendor;
    QString model;
    QString type;
};

// One option as the device describes it, with its value when that can be read.
struct OptionInfo {
    int index = 0;
    QByteArray name;
    QByteArray title;       // untranslated, as the backend gives it
    QByteArray description;
    SANE_Value_Type type = SANE_TYPE_INT;
    SANE_Unit unit = SANE_UNIT_NONE;
    int size = 0;
    SANE_Int cap = 0;
    SANE_Constraint_Type constraint = SANE_CONSTRAINT_NONE;
    double min = 0, max = 0, quant = 0;  // range, in the option's own units
    std::vector<double> words;           // word list
    std::vector<QByteArray> strings;     // string list
    bool hasValue = false;
    std::vector<double> numbers;         // value of bool, int and fixed options
    QByteArray text;                     // value of string options

    bool active() const { return SANE_OPTION_IS_ACTIVE(cap); }
    bool settable() const { return SANE_OPTION_IS_SETTABLE(cap); }
    int count() const; // number of values for int and fixed options
};

using OptionList = std::vector<OptionInfo>;

enum class ScanResult { Done, Cancelled, Failed };

// German words for a SANE status.
QString statusText(SANE_Status status);

class Session {
public:
    static Session &instance();

    // The device the user chose, empty when none was chosen yet.
    QString chosenDevice() const;
    void choose(const QString &name);
    // Maker and model of a device as the last listing gave them; only the name when it was
    // not listed in this process.
    DeviceInfo describe(const QString &name) const;

    // Lists the devices. Answers on the GUI thread through target, if it still exists.
    void findDevices(QObject *target, std::function<void(std::vector<DeviceInfo>)> answer);

    // Opens the chosen device (the first one when none was chosen) unless it is open, and
    // reads its options. On failure error is set and the list is empty.
    void openDevice(QObject *target, std::function<void(QString device, OptionList, QString error)> answer);

    // Sets an option (an invalid value presses a button) and answers with the options as
    // they are afterwards.
    void setOption(QObject *target, int index, QVariant value,
                   std::function<void(OptionList, QString error)> answer);

    // Scans into a BMP at path. Progress is a fraction, or negative while the size is
    // unknown. The scan stops as soon as cancel is set.
    void scan(QObject *target, QString path, std::shared_ptr<std::atomic_bool> cancel,
              std::function<void(double)> progress, std::function<void(ScanResult, QString)> done);

private:
    Session();
    static void shutdown();
    void post(std::function<void()> job);
    static void answer(const QPointer<QObject> &target, std::function<void()> job);

    // Everything below runs on the scanner thread.
    std::vector<DeviceInfo> list();
    QString open();
    void closeHandle();
    OptionList readOptions();
    void readValue(OptionInfo &option);
    ScanResult runScan(const QString &path, const std::atomic_bool &cancel,
                       const std::function<void(double)> &progress, QString &error);

    QThread *thread_ = nullptr;
    QObject *context_ = nullptr; // lives in the scanner thread; jobs are queued to it
    mutable std::mutex mutex_;
    QString chosen_;
    std::vector<DeviceInfo> listed_; // the last listing
    std::shared_ptr<std::atomic_bool> activeCancel_;

    bool initialised_ = false;
    SANE_Handle handle_ = nullptr;
    QString openName_;
    OptionList options_;
};
