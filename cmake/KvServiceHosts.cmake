# Where the installer finds its download service and where it reports usage events. These are
# build-time settings: the shipped program and the loopback build used by the tests and the demo
# differ only in the one small unit generated from them (src/app/service_hosts.cpp.in).

set(KV_PRIMARY_SERVER_URL "http://dl1.kestrova.example/downloader" CACHE STRING
    "Base URL of the primary download server")
set(KV_SECONDARY_SERVER_URL "http://dl2.kestrova.example/downloader" CACHE STRING
    "Base URL of the secondary download server")
set(KV_ANALYTICS_HOST "www.google-analytics.com" CACHE STRING
    "Host (and optional :port) of the usage-event collection endpoint")
set(KV_TRACKING_ID "UA-48213977-7" CACHE STRING "Tracking identifier sent with usage events")

# The loopback build: the reference download service on this machine (tools/download-service),
# on two fixed ports (another pair lets two build trees run their tests side by side).
set(KV_LOOPBACK_PORTS "47801 47802" CACHE STRING "Primary and secondary port of the loopback build")
separate_arguments(kv_loopback_ports UNIX_COMMAND "${KV_LOOPBACK_PORTS}")
list(GET kv_loopback_ports 0 kv_loopback_primary_port)
list(GET kv_loopback_ports 1 kv_loopback_secondary_port)
set(KV_LOOPBACK_PRIMARY_URL "http://127.0.0.1:${kv_loopback_primary_port}/downloader")
set(KV_LOOPBACK_SECONDARY_URL "http://127.0.0.1:${kv_loopback_secondary_port}/downloader")
set(KV_LOOPBACK_ANALYTICS_HOST "127.0.0.1:${kv_loopback_primary_port}")
