// RequestIdentity: how the app tells the servers who is asking — the
// User-Agent text and the parameter block appended to server addresses —
// built from a snapshot of the device and bundle facts.
//
// The builders are pure functions of their inputs (so every combination can
// be tested); OVUtils gathers the inputs from the device once per process and
// keeps the results. Thread-safe: no state.
//
//   RequestIdentityInputs in = RequestIdentityInputs::gather(OVUtils::networkType());
//   std::string ua = makeUserAgent(in);      // "Murmelo/2.3 (iPhone; iPhone OS 4.3.3; en; ...)"
//   std::string block = makeParameterBlock(in);  //
//   "app=Murmelo&v=2.3&lang=en&jb=0&deviceid=...&phonetype=iphone"
#pragma once

#include <optional>
#include <string>

namespace murmelo {

struct RequestIdentityInputs {
    // Nothing when the bundle or device does not say; written as the
    // platform's text for a missing object, "(null)".
    std::optional<std::string> bundleName;    // Info.plist CFBundleName
    std::optional<std::string> bundleVersion; // Info.plist CFBundleVersion
    std::string model;                        // "iPhone"
    std::string systemName;                   // "iPhone OS"
    std::string systemVersion;                // "4.3.3"
    std::string localeIdentifier;             // OVgetCurrentLocale()
    std::string machine;                      // specificMachineModel()
    std::optional<std::string> uniqueIdentifier;
    std::string networkType; // "WIFI", "Carrier" or "None"
    bool jailBroken = false;

    // The current device, main bundle and user defaults; `networkType` is
    // passed in because it is sampled (and cached) on its own.
    static RequestIdentityInputs gather(std::string networkType);
};

// "<name>/<version> (<model>; <system> <version>; <locale>; <machine>;
// <unique id>; <network>; JB_<0|1>)" — nothing escaped.
std::string makeUserAgent(const RequestIdentityInputs& inputs);

// "app=…&v=…&lang=…&jb=0|1&deviceid=…&phonetype=iphone", each of app, v,
// lang and deviceid escaped by itself with the device's legacy URL escaping.
std::string makeParameterBlock(const RequestIdentityInputs& inputs);

} // namespace murmelo
