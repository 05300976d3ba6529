// The library reads a `debug` flag that each program defines; library tests define it here.
int debug = 0;
