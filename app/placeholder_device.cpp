// Keeps the device library non-empty while it has no other sources.
namespace qv_device_placeholder { int unused = 0; }
