#pragma once
// Names for the device attributes that reports and device checks store as plain numbers. The
// attributes stay ints: a report may carry a value none of these names, and the tags say what
// such a value prints.

// DeviceInfo::rootState.
namespace RootState {
enum Value : int
{
    NotAvailable = -1,
    NotRooted = 0,
    Rooted = 1,
    CustomFirmware = 2,
    RootedToo = 3 // a second rooted state of the checks; printed as rooted
};
}

// DeviceInfo::fmipState (the find-my-device lock).
namespace FmipState {
enum Value : int
{
    NotChecked = -3,
    NotObtained = -1,
    Off = 0,
    On = 1,
    Undetermined = 2, // 2 and 3 print as unknown
    Unavailable = 3
};
}

// DeviceInfo::simLockState.
namespace SimLockState {
enum Value : int
{
    Unknown = 0,
    Unlocked = 1,
    Locked = 2
};
}

// Each of DeviceInfo::subscriptionStates (one carrier's subscription check).
namespace SubscriptionState {
enum Value : int
{
    NotChecked = -3,
    Unknown = -1,
    NotFound = 0,
    NoRestrictions = 1,
    MayBeRestricted = 2,
    Restricted = 3,
    CheckError = 4 // blanks the result for all carriers together
};
}

// DeviceInfo::lostState, stolenState and blockedState.
namespace TheftState {
enum Value : int
{
    NotTested = -3,
    NotTestedYet = -2,
    Clear = 0,
    Reported = 1
};
}

// Device::diagnosticsStatus(); DeviceInfo::diagnosticsState uses the first two.
namespace DiagnosticsStatus {
enum Value : int
{
    NotDiagnosed = 0,
    Failed = 1,
    Passed = 2,
    NotPerformed = 3,
    TestsFailed = 4
};
}

// Device::simStatus().
namespace SimStatus {
enum Value : int
{
    NoInformation = -1,
    NoCards = 0,
    NotInserted = 1,
    Inserted = 2,
    InsertedOfTwo = 3
};
}

// The status of one diagnostics test as the tags read it from DeviceInfo::diagnosticsResults.
namespace TestStatus {
enum Value : int
{
    Passed = 0,
    Failed = 1,
    NotPerformed = 2,
    NotAvailable = 3
};
}

// The code after "=" of one item of DeviceInfo::diagnosticsResults.
namespace TestResultCode {
enum Value : int
{
    Failed = 0,
    Passed = 1,
    NotPerformed = 2,
    NotAvailable = 3
};
}
