// Placeholder until the upload lands.
#include "online/score_upload.h"
void UploadScore() {}
bool IsOnline() { return false; }
std::string FileSizeText(const std::string&) { return "0"; }
