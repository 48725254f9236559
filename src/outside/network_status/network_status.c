/* ICMP echo and TTL-limited probes. Plain C on libc only: the library is loaded by programs
 * of any kind with dlopen. */
#define _GNU_SOURCE
#include "platform/network_status.h"

#include <arpa/inet.h>
#include <errno.h>
#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <locale.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <poll.h>
#include <pthread.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#define EXPORT __attribute__((visibility("default")))

enum {
  kPayloadBytes = 56, /* echo data, as the system's ping sends */
  kIcmpHeaderBytes = 8,
  kIpHeaderBytes = 20,
  kProbesPerHop = 3,
  kMaxPingCount = 1000,
  kMaxHops = 255,
};

static const int64_t kTimeoutNs = 1000000000LL;  /* per echo request */
static const int64_t kIntervalNs = 1000000000LL; /* between the requests of a ping */

/* ---- small helpers ------------------------------------------------------------------------ */

/* Newton's square root, so that the library needs nothing beyond libc. */
static double square_root(double x) {
  if (x <= 0) return 0;
  double r = x > 1 ? x : 1;
  for (int i = 0; i < 200; ++i) {
    double next = 0.5 * (r + x / r);
    if (next >= r) break;
    r = next;
  }
  return r;
}

static int64_t now_ns(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (int64_t)ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

static void copy_text(char* to, size_t size, const char* from) {
  snprintf(to, size, "%s", from ? from : "");
}

/* A growing list of lines, packed into the result block at the end. */
typedef struct {
  char** items;
  int count;
  int capacity;
  int failed;
} LineList;

static void lines_add(LineList* list, const char* format, ...) {
  if (list->failed) return;
  if (list->count == list->capacity) {
    int capacity = list->capacity ? list->capacity * 2 : 16;
    char** grown = realloc(list->items, (size_t)capacity * sizeof *grown);
    if (!grown) {
      list->failed = 1;
      return;
    }
    list->items = grown;
    list->capacity = capacity;
  }
  va_list args;
  va_start(args, format);
  char* text = NULL;
  int n = vasprintf(&text, format, args);
  va_end(args);
  if (n < 0) {
    list->failed = 1;
    return;
  }
  list->items[list->count++] = text;
}

static void lines_free(LineList* list) {
  for (int i = 0; i < list->count; ++i) free(list->items[i]);
  free(list->items);
}

/* One block: the record of `recordSize` bytes, then the line table, then the texts. */
static void* pack(const void* record, size_t recordSize, const LineList* list, char*** table) {
  size_t textBytes = 0;
  for (int i = 0; i < list->count; ++i) textBytes += strlen(list->items[i]) + 1;
  size_t tableOffset = (recordSize + sizeof(char*) - 1) / sizeof(char*) * sizeof(char*);
  char* block = malloc(tableOffset + (size_t)list->count * sizeof(char*) + textBytes);
  if (!block) return NULL;
  memcpy(block, record, recordSize);
  char** lines = (char**)(block + tableOffset);
  char* text = (char*)(lines + list->count);
  for (int i = 0; i < list->count; ++i) {
    size_t n = strlen(list->items[i]) + 1;
    memcpy(text, list->items[i], n);
    lines[i] = text;
    text += n;
  }
  *table = list->count ? lines : NULL;
  return block;
}

static int resolve(const char* text, struct sockaddr_in* out) {
  memset(out, 0, sizeof *out);
  out->sin_family = AF_INET;
  if (!text || !*text) return 0;
  if (inet_pton(AF_INET, text, &out->sin_addr) == 1) return 1;
  struct addrinfo hints;
  memset(&hints, 0, sizeof hints);
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  struct addrinfo* found = NULL;
  if (getaddrinfo(text, NULL, &hints, &found) != 0 || !found) return 0;
  out->sin_addr = ((struct sockaddr_in*)found->ai_addr)->sin_addr;
  freeaddrinfo(found);
  return 1;
}

/* The local address that traffic to `dest` leaves from (no packet is sent). */
static void source_address(const struct sockaddr_in* dest, char* out, size_t size) {
  copy_text(out, size, "");
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  struct sockaddr_in to = *dest;
  to.sin_port = htons(1025);
  struct sockaddr_in local;
  socklen_t len = sizeof local;
  if (connect(fd, (struct sockaddr*)&to, sizeof to) == 0 &&
      getsockname(fd, (struct sockaddr*)&local, &len) == 0)
    inet_ntop(AF_INET, &local.sin_addr, out, (socklen_t)size);
  close(fd);
}

static uint16_t checksum(const void* data, size_t size) {
  const uint8_t* p = data;
  uint32_t sum = 0;
  for (; size > 1; size -= 2, p += 2) sum += (uint32_t)(p[0] << 8 | p[1]);
  if (size) sum += (uint32_t)(p[0] << 8);
  while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
  return htons((uint16_t)~sum);
}

/* ---- the ICMP socket ------------------------------------------------------------------------ */

typedef struct {
  int fd;
  int raw;         /* raw socket: IP headers come with the data, all ICMP traffic arrives */
  uint16_t ident;  /* echo identifier (a datagram socket's identifier is set by the kernel) */
  uint64_t cookie; /* first payload bytes: tells our replies from others' */
  struct sockaddr_in dest;
} Prober;

typedef enum { kNothing, kEchoReply, kTimeExceeded, kUnreachable } ReplyKind;

typedef struct {
  ReplyKind kind;
  int code;
  uint16_t seq;
  int ttl;
  int bytes;
  struct in_addr from;
} Reply;

static int prober_open(Prober* p, const struct sockaddr_in* dest) {
  static unsigned counter;
  memset(p, 0, sizeof *p);
  p->dest = *dest;
  const char* forced = getenv("NETWORK_STATUS_SOCKET");
  int wantDatagram = forced && strcmp(forced, "datagram") == 0;
  p->fd = wantDatagram ? -1 : socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
  if (p->fd >= 0) {
    p->raw = 1;
    struct icmp_filter filter;
    filter.data = ~((1U << ICMP_ECHOREPLY) | (1U << ICMP_DEST_UNREACH) | (1U << ICMP_TIME_EXCEEDED));
    setsockopt(p->fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
  } else {
    p->fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (p->fd < 0) return 0;
    int on = 1;
    setsockopt(p->fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
    setsockopt(p->fd, IPPROTO_IP, IP_RECVTTL, &on, sizeof on);
  }
  unsigned n = __atomic_fetch_add(&counter, 1, __ATOMIC_RELAXED);
  p->ident = (uint16_t)((unsigned)getpid() * 7919U + n);
  if (getrandom(&p->cookie, sizeof p->cookie, GRND_NONBLOCK) != (ssize_t)sizeof p->cookie)
    p->cookie = ((uint64_t)now_ns() << 16) ^ (uint64_t)getpid() ^ ((uint64_t)n << 40);
  return 1;
}

static void prober_close(Prober* p) {
  if (p->fd >= 0) close(p->fd);
  p->fd = -1;
}

/* Sends one echo request; returns 0 or the errno of the failed send. */
static int prober_send(Prober* p, uint16_t seq, int ttl) {
  if (ttl > 0) setsockopt(p->fd, IPPROTO_IP, IP_TTL, &ttl, sizeof ttl);
  /* An ICMP error about an earlier request leaves a pending socket error that would fail this
   * send; reading SO_ERROR clears it (the error itself is in the queue). */
  int pending = 0;
  socklen_t pendingLen = sizeof pending;
  getsockopt(p->fd, SOL_SOCKET, SO_ERROR, &pending, &pendingLen);
  uint8_t packet[kIcmpHeaderBytes + kPayloadBytes];
  memset(packet, 0, sizeof packet);
  struct icmphdr* h = (struct icmphdr*)packet;
  h->type = ICMP_ECHO;
  h->un.echo.id = htons(p->ident);
  h->un.echo.sequence = htons(seq);
  memcpy(packet + kIcmpHeaderBytes, &p->cookie, sizeof p->cookie);
  for (int i = 16; i < kPayloadBytes; ++i) packet[kIcmpHeaderBytes + i] = (uint8_t)i;
  h->checksum = checksum(packet, sizeof packet);
  ssize_t n = sendto(p->fd, packet, sizeof packet, 0, (const struct sockaddr*)&p->dest, sizeof p->dest);
  return n == (ssize_t)sizeof packet ? 0 : (n < 0 ? errno : EIO);
}

static int is_our_echo(const Prober* p, const uint8_t* icmp, size_t len, int checkIdent) {
  if (len < kIcmpHeaderBytes + sizeof p->cookie) return 0;
  const struct icmphdr* h = (const struct icmphdr*)icmp;
  if (checkIdent && ntohs(h->un.echo.id) != p->ident) return 0;
  return memcmp(icmp + kIcmpHeaderBytes, &p->cookie, sizeof p->cookie) == 0;
}

/* A raw packet: IP header, then ICMP. */
static int parse_raw(const Prober* p, const uint8_t* buf, size_t len, Reply* r) {
  if (len < kIpHeaderBytes) return 0;
  size_t ihl = (size_t)(buf[0] & 0x0f) * 4;
  if (ihl < kIpHeaderBytes || len < ihl + kIcmpHeaderBytes) return 0;
  const uint8_t* icmp = buf + ihl;
  size_t icmpLen = len - ihl;
  const struct icmphdr* h = (const struct icmphdr*)icmp;
  r->ttl = buf[8];
  r->bytes = (int)icmpLen;
  if (h->type == ICMP_ECHOREPLY) {
    if (!is_our_echo(p, icmp, icmpLen, 1)) return 0;
    r->kind = kEchoReply;
    r->seq = ntohs(h->un.echo.sequence);
    return 1;
  }
  if (h->type != ICMP_TIME_EXCEEDED && h->type != ICMP_DEST_UNREACH) return 0;
  /* The quoted request: its IP header, then at least 8 bytes of our echo header. */
  const uint8_t* inner = icmp + kIcmpHeaderBytes;
  size_t innerLen = icmpLen - kIcmpHeaderBytes;
  if (innerLen < kIpHeaderBytes) return 0;
  size_t innerIhl = (size_t)(inner[0] & 0x0f) * 4;
  if (innerIhl < kIpHeaderBytes || innerLen < innerIhl + kIcmpHeaderBytes) return 0;
  if (inner[9] != IPPROTO_ICMP || memcmp(inner + 16, &p->dest.sin_addr, 4) != 0) return 0;
  const struct icmphdr* quoted = (const struct icmphdr*)(inner + innerIhl);
  if (quoted->type != ICMP_ECHO || ntohs(quoted->un.echo.id) != p->ident) return 0;
  r->kind = h->type == ICMP_TIME_EXCEEDED ? kTimeExceeded : kUnreachable;
  r->code = h->code;
  r->seq = ntohs(quoted->un.echo.sequence);
  return 1;
}

/* Reads one packet (or queued error): 1 with `r` filled when it answers one of our requests,
 * 0 when it was something else, -1 when nothing is waiting. */
static int prober_read(Prober* p, Reply* r, struct sockaddr_in* from) {
  uint8_t buf[1500];
  uint8_t control[512];
  struct iovec iov = {buf, sizeof buf};
  struct msghdr msg;
  memset(&msg, 0, sizeof msg);
  memset(r, 0, sizeof *r);
  msg.msg_name = from;
  msg.msg_namelen = sizeof *from;
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  msg.msg_control = control;
  msg.msg_controllen = sizeof control;
  ssize_t n = recvmsg(p->fd, &msg, MSG_DONTWAIT);
  if (n >= 0) {
    r->from = from->sin_addr;
    if (p->raw) return parse_raw(p, buf, (size_t)n, r);
    if ((size_t)n < kIcmpHeaderBytes) return 0;
    const struct icmphdr* h = (const struct icmphdr*)buf;
    if (h->type != ICMP_ECHOREPLY || !is_our_echo(p, buf, (size_t)n, 0)) return 0;
    r->kind = kEchoReply;
    r->seq = ntohs(h->un.echo.sequence);
    r->bytes = (int)n;
    r->ttl = -1;
    for (struct cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c))
      if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL) memcpy(&r->ttl, CMSG_DATA(c), sizeof(int));
    return 1;
  }
  if (errno != EAGAIN && errno != EWOULDBLOCK) return errno == EINTR ? 0 : -1;
  if (p->raw) return -1;
  /* A datagram socket hands ICMP errors about our requests over through its error queue. */
  memset(&msg, 0, sizeof msg);
  msg.msg_name = from;
  msg.msg_namelen = sizeof *from;
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  msg.msg_control = control;
  msg.msg_controllen = sizeof control;
  n = recvmsg(p->fd, &msg, MSG_ERRQUEUE | MSG_DONTWAIT);
  if (n < 0) return -1;
  if (n < (ssize_t)kIcmpHeaderBytes) return 0;
  for (struct cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
    if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_RECVERR) continue;
    struct sock_extended_err ee;
    memcpy(&ee, CMSG_DATA(c), sizeof ee);
    if (ee.ee_origin != SO_EE_ORIGIN_ICMP) return 0;
    if (ee.ee_type != ICMP_TIME_EXCEEDED && ee.ee_type != ICMP_DEST_UNREACH) return 0;
    if (!is_our_echo(p, buf, (size_t)n, 0)) return 0;
    struct sockaddr_in offender;
    memcpy(&offender, SO_EE_OFFENDER((struct sock_extended_err*)CMSG_DATA(c)), sizeof offender);
    r->from = offender.sin_addr;
    r->kind = ee.ee_type == ICMP_TIME_EXCEEDED ? kTimeExceeded : kUnreachable;
    r->code = ee.ee_code;
    r->seq = ntohs(((const struct icmphdr*)buf)->un.echo.sequence);
    return 1;
  }
  return 0;
}

/* Waits for an answer until `deadline`; returns 1 with `r` filled, 0 when the time ran out. */
static int prober_wait(Prober* p, int64_t deadline, Reply* r) {
  for (;;) {
    struct sockaddr_in from;
    int got = prober_read(p, r, &from);
    if (got > 0) return 1;
    int64_t left = deadline - now_ns();
    if (got == 0 && left > 0) continue; /* someone else's packet: read on */
    if (left <= 0) return 0;
    struct pollfd q = {p->fd, POLLIN, 0};
    int ms = (int)((left + 999999) / 1000000);
    if (poll(&q, 1, ms) < 0 && errno != EINTR) return 0;
  }
}

static const char* unreachable_text(int code) {
  switch (code) {
    case ICMP_NET_UNREACH: return "Destination Net Unreachable";
    case ICMP_HOST_UNREACH: return "Destination Host Unreachable";
    case ICMP_PROT_UNREACH: return "Destination Protocol Unreachable";
    case ICMP_PORT_UNREACH: return "Destination Port Unreachable";
    case ICMP_FRAG_NEEDED: return "Frag needed and DF set";
    case ICMP_SR_FAILED: return "Source Route Failed";
    case ICMP_NET_ANO: return "Destination Net Prohibited";
    case ICMP_HOST_ANO: return "Destination Host Prohibited";
    case ICMP_PKT_FILTERED: return "Packet filtered";
    default: return "Dest Unreachable";
  }
}

/* The system's ping shows fewer decimals as times grow. */
static void format_ms(char* out, size_t size, double ms) {
  if (ms >= 99.95)
    snprintf(out, size, "%.0f", ms);
  else if (ms >= 9.995)
    snprintf(out, size, "%.1f", ms);
  else if (ms >= 1.0)
    snprintf(out, size, "%.2f", ms);
  else
    snprintf(out, size, "%.3f", ms);
}

/* ---- ping ----------------------------------------------------------------------------------- */

static NetworkStatusPingResult* finish_ping(NetworkStatusPingResult* r, LineList* lines) {
  char** table = NULL;
  NetworkStatusPingResult* block = pack(r, sizeof *r, lines, &table);
  if (block) {
    block->lines = table;
    block->lineCount = lines->count;
  }
  lines_free(lines);
  return block;
}

static NetworkStatusPingResult* run_ping(const char* destination, int count) {
  NetworkStatusPingResult r;
  memset(&r, 0, sizeof r);
  LineList lines = {0};
  r.packetSize = kIpHeaderBytes + kIcmpHeaderBytes + kPayloadBytes;
  copy_text(r.host, sizeof r.host, destination);
  copy_text(r.destination, sizeof r.destination, destination);
  copy_text(r.loss, sizeof r.loss, "100%");
  if (count < 1) count = 1;
  if (count > kMaxPingCount) count = kMaxPingCount;

  struct sockaddr_in dest;
  Prober p;
  if (!resolve(destination, &dest)) return finish_ping(&r, &lines);
  inet_ntop(AF_INET, &dest.sin_addr, r.destination, sizeof r.destination);
  source_address(&dest, r.source, sizeof r.source);
  if (!prober_open(&p, &dest)) return finish_ping(&r, &lines);

  int64_t sentAt[kMaxPingCount + 1];
  char answered[kMaxPingCount + 1];
  memset(answered, 0, sizeof answered);
  double sum = 0, sumSquares = 0, lo = 0, hi = 0;
  int64_t start = now_ns();
  int64_t end = start;
  for (int seq = 1; seq <= count; ++seq) {
    sentAt[seq] = now_ns();
    int err = prober_send(&p, (uint16_t)seq, 0);
    ++r.transmitted;
    end = sentAt[seq] + kTimeoutNs;
    if (err == ENETUNREACH) break; /* no route: nothing will answer */
    /* Listen until the next request is due, or after the last one until every request is
     * answered or has timed out. */
    int64_t until = seq < count ? start + (int64_t)seq * kIntervalNs : end;
    for (;;) {
      if (seq == count) {
        int open = 0;
        for (int s = 1; s <= count; ++s) open += !answered[s];
        if (!open) break;
      }
      Reply reply;
      if (!prober_wait(&p, until, &reply)) break;
      if (reply.seq < 1 || reply.seq > seq || answered[reply.seq]) continue;
      int64_t rtt = now_ns() - sentAt[reply.seq];
      char from[INET_ADDRSTRLEN];
      inet_ntop(AF_INET, &reply.from, from, sizeof from);
      if (reply.kind == kEchoReply) {
        if (rtt > kTimeoutNs) continue; /* too late: counted as lost */
        answered[reply.seq] = 1;
        double ms = (double)rtt / 1e6;
        char shown[32];
        format_ms(shown, sizeof shown, ms);
        if (reply.ttl >= 0)
          lines_add(&lines, "%d bytes from %s: icmp_seq=%u ttl=%d time=%s ms", reply.bytes, from,
                    reply.seq, reply.ttl, shown);
        else
          lines_add(&lines, "%d bytes from %s: icmp_seq=%u time=%s ms", reply.bytes, from, reply.seq, shown);
        lo = r.received == 0 || ms < lo ? ms : lo;
        hi = r.received == 0 || ms > hi ? ms : hi;
        sum += ms;
        sumSquares += ms * ms;
        ++r.received;
      } else {
        answered[reply.seq] = 2;
        lines_add(&lines, "From %s icmp_seq=%u %s", from, reply.seq,
                  reply.kind == kTimeExceeded ? "Time to live exceeded" : unreachable_text(reply.code));
      }
    }
  }
  prober_close(&p);

  if (r.received > 0) {
    double avg = sum / r.received;
    double variance = sumSquares / r.received - avg * avg;
    r.minimum = (float)lo;
    r.maximum = (float)hi;
    r.average = (float)avg;
    r.stddev = (float)(variance > 0 ? square_root(variance) : 0);
    r.success = 1;
  }
  snprintf(r.loss, sizeof r.loss, "%g%%",
           (float)((double)(r.transmitted - r.received) * 100.0 / (r.transmitted ? r.transmitted : 1)));
  if (lines.failed) r.success = 0;
  return finish_ping(&r, &lines);
}

/* ---- tracert -------------------------------------------------------------------------------- */

static const char* hop_mark(const Reply* reply) {
  if (reply->kind != kUnreachable) return "";
  switch (reply->code) {
    case ICMP_NET_UNREACH: return " !N";
    case ICMP_HOST_UNREACH: return " !H";
    case ICMP_PROT_UNREACH: return " !P";
    case ICMP_PORT_UNREACH: return "";
    case ICMP_FRAG_NEEDED: return " !F";
    case ICMP_SR_FAILED: return " !S";
    case ICMP_NET_ANO:
    case ICMP_HOST_ANO:
    case ICMP_PKT_FILTERED: return " !X";
    default: return " !";
  }
}

static NetworkStatusTraceResult* finish_trace(NetworkStatusTraceResult* r, LineList* lines) {
  char** table = NULL;
  NetworkStatusTraceResult* block = pack(r, sizeof *r, lines, &table);
  if (block) {
    block->lines = table;
    block->lineCount = lines->count;
  }
  lines_free(lines);
  return block;
}

static NetworkStatusTraceResult* run_tracert(const char* destination, int maxHops) {
  NetworkStatusTraceResult r;
  memset(&r, 0, sizeof r);
  LineList lines = {0};
  copy_text(r.destination, sizeof r.destination, destination);
  if (maxHops < 1) maxHops = 1;
  if (maxHops > kMaxHops) maxHops = kMaxHops;

  struct sockaddr_in dest;
  Prober p;
  if (!resolve(destination, &dest)) return finish_trace(&r, &lines);
  inet_ntop(AF_INET, &dest.sin_addr, r.destination, sizeof r.destination);
  source_address(&dest, r.source, sizeof r.source);
  if (!prober_open(&p, &dest)) return finish_trace(&r, &lines);

  int sentAny = 0;
  for (int ttl = 1; ttl <= maxHops; ++ttl) {
    /* Sequence numbers tell the hops apart: hop h uses h*4+1 .. h*4+3. */
    int64_t sentAt[kProbesPerHop];
    Reply replies[kProbesPerHop];
    int64_t rtts[kProbesPerHop];
    int got[kProbesPerHop] = {0};
    int failed = 0;
    for (int k = 0; k < kProbesPerHop; ++k) {
      sentAt[k] = now_ns();
      int err = prober_send(&p, (uint16_t)(ttl * 4 + 1 + k), ttl);
      if (err == 0)
        sentAny = 1;
      else
        failed = err;
    }
    if (failed == ENETUNREACH && !sentAny) break;
    int64_t deadline = sentAt[0] + kTimeoutNs;
    int open = kProbesPerHop;
    while (open > 0) {
      Reply reply;
      if (!prober_wait(&p, deadline, &reply)) break;
      int k = (int)reply.seq - (ttl * 4 + 1);
      if (k < 0 || k >= kProbesPerHop || got[k]) continue;
      got[k] = 1;
      replies[k] = reply;
      rtts[k] = now_ns() - sentAt[k];
      --open;
    }

    char line[512];
    int len = snprintf(line, sizeof line, "%d ", ttl);
    struct in_addr last = {0};
    int haveLast = 0, reached = 0;
    for (int k = 0; k < kProbesPerHop && len < (int)sizeof line - 64; ++k) {
      if (!got[k]) {
        len += snprintf(line + len, sizeof line - (size_t)len, " *");
        continue;
      }
      if (!haveLast || last.s_addr != replies[k].from.s_addr) {
        char from[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &replies[k].from, from, sizeof from);
        len += snprintf(line + len, sizeof line - (size_t)len, " %s", from);
        last = replies[k].from;
        haveLast = 1;
      }
      len += snprintf(line + len, sizeof line - (size_t)len, "  %.3f ms%s", (double)rtts[k] / 1e6,
                      hop_mark(&replies[k]));
      if (replies[k].kind == kEchoReply || replies[k].kind == kUnreachable) reached = 1;
    }
    lines_add(&lines, "%s", line);
    if (reached) break;
  }
  prober_close(&p);
  r.success = sentAny && !lines.failed;
  return finish_trace(&r, &lines);
}

/* ---- exports -------------------------------------------------------------------------------- */

/* The records are read by peers: times are written with a decimal point whatever locale the
 * calling program set (a windowed program takes the user's, which may use a comma). */
static locale_t g_cLocale;
static pthread_once_t g_cLocaleOnce = PTHREAD_ONCE_INIT;
static void make_c_locale(void) { g_cLocale = newlocale(LC_ALL_MASK, "C", (locale_t)0); }

static locale_t c_locale(void) {
  pthread_once(&g_cLocaleOnce, make_c_locale);
  return g_cLocale;
}

EXPORT NetworkStatusPingResult* ping(const char* destination, int count) {
  locale_t previous = c_locale() ? uselocale(c_locale()) : (locale_t)0;
  NetworkStatusPingResult* r = run_ping(destination, count);
  if (previous) uselocale(previous);
  return r;
}

EXPORT NetworkStatusTraceResult* tracert(const char* destination, int maxHops) {
  locale_t previous = c_locale() ? uselocale(c_locale()) : (locale_t)0;
  NetworkStatusTraceResult* r = run_tracert(destination, maxHops);
  if (previous) uselocale(previous);
  return r;
}
