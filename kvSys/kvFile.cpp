// Thin wrappers over the standard buffered streams, used by every loader.
#include "kvKIT.h"

FILE* kvFileOpen(const char* name, const char* mode) { return OpenFileA(name, mode); }

int kvFileClose(FILE* file) { return std::fclose(file); }

size_t kvFileRead(void* destination, size_t itemSize, size_t itemCount, FILE* file) {
  return std::fread(destination, itemSize, itemCount, file);
}

int16_t kvFileSeek(FILE* file, int32_t offset, int origin) {
  return std::fseek(file, offset, origin) == 0 ? 1 : 0;
}

int32_t kvFileTell(FILE* file) { return static_cast<int32_t>(std::ftell(file)); }

int kvFileGetc(FILE* file) { return std::fgetc(file); }

char* kvFileGets(char* destination, int16_t capacity, FILE* file) {
  return std::fgets(destination, capacity, file);
}
