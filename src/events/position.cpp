// Position reports from radios: decodes latitude, longitude and course of a
// location SDS and forwards them to the reflector as a GPS report, at most
// one every few seconds.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "config/config.h"
#include "events/handlers.h"
#include "events/session.h"
#include "global.h"
#include "net/datagrams.h"
#include "util/console.h"
#include "util/text.h"

namespace {

// Byte positions in the decoded report.
constexpr int GLEN_BYTE = 3;
constexpr int TYPE_BYTE = 4;
constexpr int VALUE_BYTE = 5;
constexpr int GPS_BYTE = 12;
constexpr int LAT_BYTE = 13;          // 4 bytes, two's complement, MSB first
constexpr int LON_BYTE = 17;          // 4 bytes, two's complement, MSB first
constexpr int HEIGHT_MARK_BYTE = 21;
constexpr int HEIGHT_BYTE = 22;       // 2 bytes, MSB first
constexpr int BEARING_MARK_BYTE = 24;
constexpr int BEARING_BYTE = 25;

// Report lengths (glen) from which the fields are present.
constexpr int POSITION_GLEN = 17;
constexpr int HEIGHT_GLEN = 19;
constexpr int BEARING_GLEN = 22;

constexpr unsigned char VALUE_POSITION = '/';
constexpr unsigned char GPS_FIX_F = 'f';
constexpr unsigned char GPS_FIX_H = 'h';
constexpr unsigned char HEIGHT_MARK = 0x81;
constexpr unsigned char BEARING_MARK = 'V';

// A full circle of latitude/longitude is spread over 2^32 - 1 steps (not 2^32).
constexpr double LAT_SCALE = 180.0 / 4294967295.0;
constexpr double LON_SCALE = 360.0 / 4294967295.0;
constexpr double BEARING_STEP = 360.0 / 256.0; // course byte in 1/256 of a turn

// Reports closer together than this many whole seconds are dropped.
constexpr time_t GPS_MIN_INTERVAL_S = 5;

constexpr int POSITION_TEXT_SIZE = 40;
constexpr int MINUTES_TEXT_SIZE = 20;
constexpr int COURSE_TEXT_SIZE = 10;

// Time of the report being handled.
struct timeval gpsnow;

unsigned byte_at(int index)
{
    return static_cast<unsigned char>(sendtext[index]);
}

int32_t signed32_at(int index)
{
    uint32_t value = (static_cast<uint32_t>(byte_at(index)) << 24) | (byte_at(index + 1) << 16) |
                     (byte_at(index + 2) << 8) | byte_at(index + 3);
    return static_cast<int32_t>(value);
}

// Splits degrees (made positive) into whole degrees and minutes; returns the
// hemisphere letter: positive for non-negative degrees, negative otherwise.
char split_degrees(double degrees, char positive, char negative, int* whole, double* minutes)
{
    char letter = positive;
    if (degrees < 0) {
        letter = negative;
        degrees = -degrees;
    }
    *whole = static_cast<int>(degrees);
    *minutes = (degrees - *whole) * 60;
    return letter;
}

// Minutes with four decimals and at least two whole digits ("05.5000").
// The pad is decided on the rounded text, and minutes that round to 60 carry
// into *whole, so that 9.99999 gives "10.0000" and 59.99999 gives "00.0000".
void minutes_text(double minutes, int* whole, char* out, size_t size)
{
    char fixed[MINUTES_TEXT_SIZE / 2]; // minutes are below 60: "59.9999" at most
    snprintf(fixed, sizeof fixed, "%.4f", minutes);
    if (strncmp(fixed, "60.", 3) == 0) {
        (*whole)++;
        snprintf(fixed, sizeof fixed, "%.4f", 0.0);
    }
    snprintf(out, size, "%s%s", fixed[1] == '.' ? "0" : "", fixed);
}

// Course with at least three whole digits ("005.6", "045.0", "358.6").
void course_text(double bearing, char* out, size_t size)
{
    if (bearing < 10)
        snprintf(out, size, "00%.1f", bearing);
    else if (bearing < 100)
        snprintf(out, size, "0%.1f", bearing);
    else
        snprintf(out, size, "%.1f", bearing);
}

// True, and gpsnow set, when more than GPS_MIN_INTERVAL_S whole seconds have
// passed since the last report (or the radio's initialisation).
bool report_due()
{
    clock_now(&gpsnow);
    return gpsnow.tv_sec - lastgps.tv_sec > GPS_MIN_INTERVAL_S;
}

void send_gps_report(char east_west, const char* slon, char north_south, const char* slat, const char* sbearing)
{
    char time[REPORT_TIME_SIZE];
    format_report_time(time, sizeof time);
    char message[MESSAGE_SIZE];
    format_gps_report_hemisphere(message, sizeof message, GATEWAY_CALL, GATEWAY_COMMENT, time, CALL, CALL_ID,
                                 east_west, slon, north_south, slat, sbearing);
    log_ts("GPS:%s\n", message);
    send_to_reflector(message);
    clock_now(&lastgps);
}

} // namespace

void handle_position()
{
    // Cleared whole, so that fields a short report lacks read as 0 and never
    // as bytes of an earlier payload.
    memset(sendtext, 0, sizeof sendtext);
    decodehex(data, static_cast<int>(strnlen(data, DATA_SIZE - 1)), sendtext, sizeof sendtext);

    int glen = static_cast<int>(byte_at(GLEN_BYTE));
    if (SYS_DEBUG)
        log_ts("GPS-Parameter: glen:%i\n", glen);
    if (glen < POSITION_GLEN)
        return;
    int type = static_cast<int>(byte_at(TYPE_BYTE));
    int value = static_cast<int>(byte_at(VALUE_BYTE));
    int gps = static_cast<int>(byte_at(GPS_BYTE));
    if (SYS_DEBUG)
        log_ts("GPS-Parameter: type:%i valuie:%i gps:%i\n", type, value, gps);
    if (value != VALUE_POSITION || (gps != GPS_FIX_F && gps != GPS_FIX_H))
        return;

    double lat = signed32_at(LAT_BYTE);
    double lon = signed32_at(LON_BYTE);
    int ilat = 0, ilon = 0;
    double mlat = 0, mlon = 0;
    char north_south = split_degrees(lat * LAT_SCALE, 'N', 'S', &ilat, &mlat);
    char east_west = split_degrees(lon * LON_SCALE, 'E', 'W', &ilon, &mlon);

    double bearing = 0, height = 0;
    if (glen >= BEARING_GLEN && byte_at(BEARING_MARK_BYTE) == BEARING_MARK)
        bearing = byte_at(BEARING_BYTE) * BEARING_STEP;
    if (glen >= HEIGHT_GLEN && byte_at(HEIGHT_MARK_BYTE) == HEIGHT_MARK)
        height = byte_at(HEIGHT_BYTE) * 256 + byte_at(HEIGHT_BYTE + 1);
    if (SYS_DEBUG)
        log_raw("%i %i %i %i %f %f %02i%.4f %i %f %f %f\n", glen, type, value, gps, lat, lon, ilat, mlat, ilon, mlon,
                bearing, height);

    char ddlat[MINUTES_TEXT_SIZE], ddlon[MINUTES_TEXT_SIZE];
    minutes_text(mlat, &ilat, ddlat, sizeof ddlat);
    minutes_text(mlon, &ilon, ddlon, sizeof ddlon);
    char slat[POSITION_TEXT_SIZE], slon[POSITION_TEXT_SIZE];
    snprintf(slat, sizeof slat, "%i%s000", ilat, ddlat);
    snprintf(slon, sizeof slon, "%s%i%s000", ilon <= 99 ? "0" : "", ilon, ddlon);
    char sbearing[COURSE_TEXT_SIZE];
    course_text(bearing, sbearing, sizeof sbearing);

    if (report_due())
        send_gps_report(east_west, slon, north_south, slat, sbearing);
}
