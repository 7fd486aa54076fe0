// Keeps the device library non-empty until the player sources land.
namespace qv_device_placeholder { int unused = 0; }
