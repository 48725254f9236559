// Stand-ins for the download library: one whose export always reports a digest mismatch, and
// one built without the export at all.
#ifdef STUB_WITH_EXPORT
extern "C" __attribute__((visibility("default"))) int HttpDownLoad(const char*, const char*,
                                                                   const char*) {
  return 108;
}
#else
extern "C" __attribute__((visibility("default"))) int HttpDownload(const char*, const char*,
                                                                   const char*) {
  return 1;  // wrong spelling: not the export the binding looks for
}
#endif
