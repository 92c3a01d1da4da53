// Files are not offered to the driver: every open fails, and the other calls do nothing.
#include "platform/ndis/adapter_runtime.h"

void NdisOpenFile(PNDIS_STATUS Status, PNDIS_HANDLE FileHandle, PUINT FileLength, PNDIS_STRING, NDIS_PHYSICAL_ADDRESS) {
  ndis::RequireAdapter("NdisOpenFile").requirePassive("NdisOpenFile");
  *FileHandle = nullptr;
  *FileLength = 0;
  *Status = NDIS_STATUS_FILE_NOT_FOUND;
}

void NdisMapFile(PNDIS_STATUS Status, PVOID* MappedBuffer, NDIS_HANDLE) {
  *MappedBuffer = nullptr;
  *Status = NDIS_STATUS_FAILURE;
}

void NdisUnmapFile(NDIS_HANDLE) {}

void NdisCloseFile(NDIS_HANDLE) {}
