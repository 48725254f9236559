/*
 * libNetworkStatus.so: ICMP echo probes ("ping") and TTL-limited path probes ("tracert").
 *
 * Load it with dlopen and look up "ping" and "tracert". Each call blocks the calling thread and
 * returns one result block allocated with malloc (the structure, its line table and its texts
 * in one piece): release it with free(). NULL is returned only when memory runs out.
 *
 * Probes use an ICMP raw socket when the process may open one, else an unprivileged ICMP
 * datagram socket (net.ipv4.ping_group_range). IPv4 only; host names are resolved first.
 * Sockets are made in the calling thread, so a thread moved into another network namespace
 * probes from there. With NETWORK_STATUS_SOCKET=datagram in the environment the datagram
 * socket is used even where a raw one could be opened.
 *
 * Every echo request waits at most 1 s for its answer. A ping sends one request per second and
 * returns at most `count` seconds after it started; a trace sends three requests per hop and
 * waits at most 1 s per hop.
 */
#ifndef KESTRANE_NETWORK_STATUS_H
#define KESTRANE_NETWORK_STATUS_H

#ifdef __cplusplus
extern "C" {
#endif

#define NETWORK_STATUS_ADDRESS_SIZE 64
#define NETWORK_STATUS_HOST_SIZE 256
#define NETWORK_STATUS_LOSS_SIZE 16

typedef struct NetworkStatusTraceResult {
  char source[NETWORK_STATUS_ADDRESS_SIZE];      /* local address the probes leave from */
  char destination[NETWORK_STATUS_ADDRESS_SIZE]; /* resolved address, else the text as given */
  int success;   /* non-zero: the trace ran (name resolved, probes sent) */
  int id;        /* slot for the caller (destination identifier); returned as 0 */
  int lineCount; /* number of hop lines */
  /* Hop lines as a trace program prints them with numeric addresses:
   *   "1  10.0.0.1  0.321 ms  0.280 ms  0.275 ms", "2  * * *",
   *   "3  198.18.3.2  0.512 ms !H  *  0.498 ms !H" */
  char** lines;
} NetworkStatusTraceResult;

typedef struct NetworkStatusPingResult {
  char source[NETWORK_STATUS_ADDRESS_SIZE];
  char destination[NETWORK_STATUS_ADDRESS_SIZE];
  char host[NETWORK_STATUS_HOST_SIZE]; /* the destination as given (name or address) */
  int success;    /* non-zero: at least one echo reply came back in time */
  int packetSize; /* bytes of one echo request on the wire, IP header included (84) */
  float average;  /* round-trip times in ms over the replies; 0 without replies */
  int transmitted;
  float minimum;
  float maximum;
  int received;
  char loss[NETWORK_STATUS_LOSS_SIZE]; /* "0%", "25%", "33.3333%", "100%" */
  int id;                              /* slot for the caller; returned as 0 */
  int lineCount;                       /* number of reply lines */
  /* Reply lines as the system's ping prints them:
   *   "64 bytes from 127.0.0.1: icmp_seq=1 ttl=64 time=0.045 ms",
   *   "From 198.18.1.1 icmp_seq=2 Destination Host Unreachable" */
  char** lines;
  float stddev; /* population standard deviation of the round-trip times, ms */
} NetworkStatusPingResult;

/* `count` echo requests (1..1000; less than 1 counts as 1) to `destination`. */
NetworkStatusPingResult* ping(const char* destination, int count);

/* A trace to `destination` over at most `maxHops` hops (1..255; less than 1 counts as 1). */
NetworkStatusTraceResult* tracert(const char* destination, int maxHops);

#ifdef __cplusplus
}
#endif

#endif
