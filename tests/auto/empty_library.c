/* A library that loads but has neither probe export. */
int network_status_placeholder(void) { return 0; }
