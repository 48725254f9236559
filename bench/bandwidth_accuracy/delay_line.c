/* Delay line for the benchmark router: holds every forwarded packet of one
 * netfilter queue for a fixed time, then lets it go on to the shaper.
 * The kernel here has no delay qdisc, so the router's forward hook sends
 * its packets to this queue instead. Packets only carry their metadata to
 * user space; the verdicts are given in batches, in arrival order.
 *
 * It also logs the interface byte counters of its namespace every
 * interval, so the benchmark can read what really crossed the router.
 *
 *   kbench-delay-line --queue N|none --delay-us US [--log FILE] [--interval-ms MS]
 *                     [--ready FILE]
 *
 * With "--queue none" it only logs (the delay then comes from elsewhere).
 */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <errno.h>
#include <linux/netfilter.h>
#include <linux/netfilter/nfnetlink.h>
#include <linux/netfilter/nfnetlink_queue.h>
#include <linux/netlink.h>
#include <poll.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#define RING_SIZE 131072u /* in-flight packets; far above any line's BDP here */
#define QUEUE_MAXLEN 100000u
#define BATCH 64

struct held {
  uint32_t id;
  int64_t due_ns;
};

static struct held ring[RING_SIZE];
static uint32_t ring_head, ring_tail; /* head: oldest; tail: next free */
static volatile sig_atomic_t stop_requested;
static uint32_t queue_num;
static int use_queue = 1;
static int nl_fd = -1;
static uint32_t nl_seq;

static int64_t now_ns(clockid_t clock) {
  struct timespec ts;
  clock_gettime(clock, &ts);
  return (int64_t)ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

static void on_signal(int sig) {
  (void)sig;
  stop_requested = 1;
}

static void put_attr(char *buf, size_t *len, uint16_t type, const void *data, uint16_t size) {
  struct nlattr *a = (struct nlattr *)(buf + *len);
  a->nla_type = type;
  a->nla_len = (uint16_t)(NLA_HDRLEN + size);
  memcpy((char *)a + NLA_HDRLEN, data, size);
  *len += NLA_ALIGN(a->nla_len);
}

static size_t start_msg(char *buf, uint16_t msg_type, uint16_t flags) {
  struct nlmsghdr *h = (struct nlmsghdr *)buf;
  memset(buf, 0, NLMSG_HDRLEN + NLMSG_ALIGN(sizeof(struct nfgenmsg)));
  h->nlmsg_type = (uint16_t)((NFNL_SUBSYS_QUEUE << 8) | msg_type);
  h->nlmsg_flags = (uint16_t)(NLM_F_REQUEST | flags);
  h->nlmsg_seq = ++nl_seq;
  struct nfgenmsg *g = (struct nfgenmsg *)NLMSG_DATA(h);
  g->nfgen_family = AF_UNSPEC;
  g->version = NFNETLINK_V0;
  g->res_id = htons((uint16_t)queue_num);
  return NLMSG_HDRLEN + NLMSG_ALIGN(sizeof(struct nfgenmsg));
}

static int send_msg(char *buf, size_t len) {
  ((struct nlmsghdr *)buf)->nlmsg_len = (uint32_t)len;
  struct sockaddr_nl kernel = {.nl_family = AF_NETLINK};
  for (;;) {
    ssize_t n = sendto(nl_fd, buf, len, 0, (struct sockaddr *)&kernel, sizeof kernel);
    if (n >= 0) return 0;
    if (errno == EINTR) continue;
    return -1;
  }
}

/* Sends a config message and waits for its acknowledgement. */
static int configure(uint16_t attr_type, const void *data, uint16_t size) {
  char buf[256];
  size_t len = start_msg(buf, NFQNL_MSG_CONFIG, NLM_F_ACK);
  put_attr(buf, &len, attr_type, data, size);
  uint32_t seq = nl_seq;
  if (send_msg(buf, len) != 0) return -1;
  char reply[8192];
  for (;;) {
    ssize_t n = recv(nl_fd, reply, sizeof reply, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    for (struct nlmsghdr *h = (struct nlmsghdr *)reply; NLMSG_OK(h, (size_t)n);
         h = NLMSG_NEXT(h, n)) {
      if (h->nlmsg_type == NLMSG_ERROR && h->nlmsg_seq == seq) {
        const struct nlmsgerr *e = (const struct nlmsgerr *)NLMSG_DATA(h);
        if (e->error != 0) {
          errno = -e->error;
          return -1;
        }
        return 0;
      }
    }
  }
}

static void verdict_upto(uint32_t id) {
  char buf[128];
  size_t len = start_msg(buf, NFQNL_MSG_VERDICT_BATCH, 0);
  struct nfqnl_msg_verdict_hdr v = {.verdict = htonl(NF_ACCEPT), .id = htonl(id)};
  put_attr(buf, &len, NFQA_VERDICT_HDR, &v, sizeof v);
  if (send_msg(buf, len) != 0) perror("delay-line: verdict");
}

/* Lets go every packet whose time has come; returns ns until the next one
 * (or -1 when nothing is held). */
static int64_t release_due(void) {
  int64_t now = now_ns(CLOCK_MONOTONIC);
  uint32_t last = 0;
  int any = 0;
  while (ring_head != ring_tail && ring[ring_head % RING_SIZE].due_ns <= now) {
    last = ring[ring_head % RING_SIZE].id;
    any = 1;
    ring_head++;
  }
  if (any) verdict_upto(last);
  if (ring_head == ring_tail) return -1;
  return ring[ring_head % RING_SIZE].due_ns - now;
}

static void hold(uint32_t id, int64_t due_ns) {
  if (ring_tail - ring_head >= RING_SIZE) {
    /* Never stall the line: release the oldest at once when full. */
    verdict_upto(ring[ring_head % RING_SIZE].id);
    ring_head++;
  }
  ring[ring_tail % RING_SIZE].id = id;
  ring[ring_tail % RING_SIZE].due_ns = due_ns;
  ring_tail++;
}

static void take_packets(int64_t delay_ns) {
  static char bufs[BATCH][1024];
  struct mmsghdr msgs[BATCH];
  struct iovec iov[BATCH];
  for (;;) {
    for (int i = 0; i < BATCH; i++) {
      iov[i].iov_base = bufs[i];
      iov[i].iov_len = sizeof bufs[i];
      memset(&msgs[i], 0, sizeof msgs[i]);
      msgs[i].msg_hdr.msg_iov = &iov[i];
      msgs[i].msg_hdr.msg_iovlen = 1;
    }
    int got = recvmmsg(nl_fd, msgs, BATCH, MSG_DONTWAIT, NULL);
    if (got <= 0) return; /* EAGAIN, EINTR or ENOBUFS: the batch verdicts cover lost notices */
    int64_t due = now_ns(CLOCK_MONOTONIC) + delay_ns;
    for (int i = 0; i < got; i++) {
      size_t n = msgs[i].msg_len;
      if (n > sizeof bufs[i]) n = sizeof bufs[i]; /* truncated: the header comes first */
      for (struct nlmsghdr *h = (struct nlmsghdr *)bufs[i]; NLMSG_OK(h, n); h = NLMSG_NEXT(h, n)) {
        if (h->nlmsg_type != ((NFNL_SUBSYS_QUEUE << 8) | NFQNL_MSG_PACKET)) continue;
        char *p = (char *)NLMSG_DATA(h) + NLMSG_ALIGN(sizeof(struct nfgenmsg));
        char *end = (char *)h + (h->nlmsg_len < n ? h->nlmsg_len : n);
        while (p + NLA_HDRLEN <= end) {
          struct nlattr *a = (struct nlattr *)p;
          if (a->nla_len < NLA_HDRLEN || p + a->nla_len > end) break;
          if ((a->nla_type & NLA_TYPE_MASK) == NFQA_PACKET_HDR &&
              a->nla_len >= NLA_HDRLEN + sizeof(struct nfqnl_msg_packet_hdr)) {
            const struct nfqnl_msg_packet_hdr *ph =
                (const struct nfqnl_msg_packet_hdr *)(p + NLA_HDRLEN);
            hold(ntohl(ph->packet_id), due);
            break;
          }
          p += NLA_ALIGN(a->nla_len);
        }
      }
    }
    if (got < BATCH) return;
  }
}

/* One log line: wall time in ms, then "name rx_bytes tx_bytes" per interface. */
static void log_counters(FILE *log) {
  FILE *f = fopen("/proc/self/net/dev", "r");
  if (!f) return;
  char line[512];
  fprintf(log, "%lld", (long long)(now_ns(CLOCK_REALTIME) / 1000000));
  int lineno = 0;
  while (fgets(line, sizeof line, f)) {
    if (++lineno <= 2) continue;
    char *colon = strchr(line, ':');
    if (!colon) continue;
    *colon = '\0';
    char *name = line;
    while (*name == ' ') name++;
    if (strcmp(name, "lo") == 0) continue;
    unsigned long long rx = 0, tx = 0, skip;
    if (sscanf(colon + 1, "%llu %llu %llu %llu %llu %llu %llu %llu %llu", &rx, &skip, &skip, &skip,
               &skip, &skip, &skip, &skip, &tx) == 9)
      fprintf(log, " %s %llu %llu", name, rx, tx);
  }
  fclose(f);
  fputc('\n', log);
  fflush(log);
}

/* Binds the netfilter queue: metadata only, a long queue, GSO packets whole. */
static int open_queue(void) {
  nl_fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_NETFILTER);
  if (nl_fd < 0) {
    perror("delay-line: netlink socket");
    return -1;
  }
  int rcvbuf = 16 << 20, one = 1;
  if (setsockopt(nl_fd, SOL_SOCKET, SO_RCVBUFFORCE, &rcvbuf, sizeof rcvbuf) != 0)
    setsockopt(nl_fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
  setsockopt(nl_fd, SOL_NETLINK, NETLINK_NO_ENOBUFS, &one, sizeof one);
  struct sockaddr_nl local = {.nl_family = AF_NETLINK};
  if (bind(nl_fd, (struct sockaddr *)&local, sizeof local) != 0) {
    perror("delay-line: bind");
    return -1;
  }

  struct nfqnl_msg_config_cmd bind_cmd = {.command = NFQNL_CFG_CMD_BIND, .pf = htons(AF_INET)};
  struct nfqnl_msg_config_params params = {.copy_range = htonl(0), .copy_mode = NFQNL_COPY_META};
  uint32_t maxlen = htonl(QUEUE_MAXLEN);
  uint32_t flags[2] = {htonl(NFQA_CFG_F_GSO), htonl(NFQA_CFG_F_GSO)};
  if (configure(NFQA_CFG_CMD, &bind_cmd, sizeof bind_cmd) != 0 ||
      configure(NFQA_CFG_PARAMS, &params, sizeof params) != 0 ||
      configure(NFQA_CFG_QUEUE_MAXLEN, &maxlen, sizeof maxlen) != 0) {
    perror("delay-line: queue set-up");
    return -1;
  }
  /* GSO packets pass whole when offloads could not be turned off; optional. */
  char fbuf[128];
  size_t flen = start_msg(fbuf, NFQNL_MSG_CONFIG, 0);
  put_attr(fbuf, &flen, NFQA_CFG_FLAGS, &flags[0], sizeof flags[0]);
  put_attr(fbuf, &flen, NFQA_CFG_MASK, &flags[1], sizeof flags[1]);
  send_msg(fbuf, flen);

  return 0;
}

int main(int argc, char **argv) {
  long long delay_us = 0;
  long interval_ms = 100;
  const char *log_path = NULL, *ready_path = NULL;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (strcmp(argv[i], "--queue") == 0) {
      if (strcmp(argv[i + 1], "none") == 0) use_queue = 0;
      else queue_num = (uint32_t)strtoul(argv[i + 1], NULL, 10);
    }
    else if (strcmp(argv[i], "--delay-us") == 0) delay_us = strtoll(argv[i + 1], NULL, 10);
    else if (strcmp(argv[i], "--log") == 0) log_path = argv[i + 1];
    else if (strcmp(argv[i], "--interval-ms") == 0) interval_ms = strtol(argv[i + 1], NULL, 10);
    else if (strcmp(argv[i], "--ready") == 0) ready_path = argv[i + 1];
    else {
      fprintf(stderr, "delay-line: unknown option %s\n", argv[i]);
      return 2;
    }
  }
  if (delay_us < 0 || interval_ms <= 0 || queue_num > 65535) {
    fprintf(stderr, "delay-line: bad arguments\n");
    return 2;
  }

  struct sigaction sa = {.sa_handler = on_signal};
  sigaction(SIGTERM, &sa, NULL);
  sigaction(SIGINT, &sa, NULL);

  if (use_queue && open_queue() != 0) return 1;

  FILE *log = NULL;
  if (log_path) {
    log = fopen(log_path, "w");
    if (!log) {
      perror("delay-line: log");
      return 1;
    }
  }
  if (ready_path) {
    FILE *r = fopen(ready_path, "w");
    if (r) fclose(r);
  }

  const int64_t delay_ns = delay_us * 1000;
  const int64_t interval_ns = (int64_t)interval_ms * 1000000;
  int64_t next_log = now_ns(CLOCK_MONOTONIC);
  while (!stop_requested) {
    int64_t wait_ns = release_due();
    int64_t now = now_ns(CLOCK_MONOTONIC);
    if (log && now >= next_log) {
      log_counters(log);
      next_log += interval_ns;
      if (next_log < now) next_log = now + interval_ns;
    }
    int64_t until_log = log ? next_log - now : interval_ns;
    if (wait_ns < 0 || wait_ns > until_log) wait_ns = until_log;
    if (wait_ns < 0) wait_ns = 0;
    struct timespec ts = {.tv_sec = wait_ns / 1000000000, .tv_nsec = wait_ns % 1000000000};
    struct pollfd pfd = {.fd = nl_fd, .events = POLLIN};
    if (ppoll(&pfd, 1, &ts, NULL) > 0 && (pfd.revents & POLLIN)) take_packets(delay_ns);
  }
  /* Let go whatever is still held so no connection is left hanging. */
  if (ring_head != ring_tail) verdict_upto(ring[(ring_tail - 1) % RING_SIZE].id);
  if (log) {
    log_counters(log);
    fclose(log);
  }
  return 0;
}
