/* The host's public records: the user, room and server state records that reach a plug-in.
   Plain C, usable from C and C++. Every field has a fixed width and no record holds a pointer,
   so the layout is the same on i386 and x86-64. */
#ifndef S_SERVERPUBLIC_H
#define S_SERVERPUBLIC_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint8_t uint8;
typedef uint16_t uint16;
typedef uint32_t uint32;
typedef int16_t int16;
typedef int32_t int32;

/* 16-bit signed truth value: non-zero is true. */
typedef int16 Boolean;

/* An IPv4 address, 32 bits in network byte order (first octet in the lowest-addressed byte). */
typedef uint32 IPAddress;

/* A length-prefixed string: byte 0 is the length, read as unsigned, then up to 31 characters.
   Nothing guarantees a terminating NUL. */
typedef uint8 Str31[32];

/* What other users see of a user. */
typedef struct UserRec {
  int32 userID;
  int16 roomID;
  int16 faceNbr;
  int16 colorNbr;
  int16 nbrProps;
  Str31 name;
} UserRec;

/* The host's record of one connection. A plug-in may write `flags` and, to terminate the name,
   the one byte after the name's last character; nothing else. */
typedef struct ServerUserRec {
  UserRec user;
  uint32 crc; /* registration values */
  uint32 counter;
  uint32 puidCtr; /* PUID values */
  uint32 puidCRC;
  IPAddress feIPAddr;
  Boolean loggedOn;
  uint16 flags; /* 0x0001 and 0x0002: host administrator */
  uint32 connectTime;
} ServerUserRec;

/* A room, as the host passes it to room entry. */
typedef struct ServerRoomRec {
  int16 roomID;
  uint16 roomFlags;
  uint16 nbrPeople;
  uint16 reserved;
  Str31 name;
} ServerRoomRec;

/* The server as a whole. */
typedef struct ServerState {
  uint32 nbrUsers;
  uint32 nbrRooms;
  uint32 clock;
} ServerState;

#ifdef __cplusplus
}
#endif

#endif
