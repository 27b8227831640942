#pragma once
// Where the download service and the usage-event endpoint live. Fixed at build time: the shipped
// program and the loopback build used by tests and the demo differ only in the unit that defines
// these (generated from service_hosts.cpp.in). A test program may define them itself instead.

const wchar_t* PrimaryServerUrl();
const wchar_t* SecondaryServerUrl();
// Host name, with ":port" when not 80, of the usage-event collection endpoint.
const wchar_t* AnalyticsHost();
const wchar_t* TrackingId();
