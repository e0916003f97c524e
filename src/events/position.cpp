// Position reports from radios, in both formats radios send ("038013" reports
// and LIP): each is decoded to degrees and course, and one forwarding path
// turns those into a GPS report for the reflector, at most one every few
// seconds whatever the format.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "config/config.h"
#include "events/handlers.h"
#include "events/lip.h"
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
constexpr int LAT_BYTE = 13; // 4 bytes, two's complement, MSB first
constexpr int LON_BYTE = 17; // 4 bytes, two's complement, MSB first
constexpr int HEIGHT_MARK_BYTE = 21;
constexpr int HEIGHT_BYTE = 22; // 2 bytes, MSB first
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
    format_gps_report_hemisphere(message, sizeof message, GATEWAY_CALL, GATEWAY_COMMENT, time, CALL, CALL_ID, east_west,
                                 slon, north_south, slat, sbearing);
    log_ts("GPS:%s\n", message);
    send_to_reflector(message);
    clock_now(&lastgps);
}

// Forwards a decoded position (degrees, negative south and west; course in
// degrees) as a GPS report of degree-and-minute texts, unless the last report
// of either format went out too recently.
void forward_position(double latitude, double longitude, double bearing)
{
    int ilat = 0, ilon = 0;
    double mlat = 0, mlon = 0;
    char north_south = split_degrees(latitude, 'N', 'S', &ilat, &mlat);
    char east_west = split_degrees(longitude, 'E', 'W', &ilon, &mlon);
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
    double bearing = 0, height = 0;
    if (glen >= BEARING_GLEN && byte_at(BEARING_MARK_BYTE) == BEARING_MARK)
        bearing = byte_at(BEARING_BYTE) * BEARING_STEP;
    if (glen >= HEIGHT_GLEN && byte_at(HEIGHT_MARK_BYTE) == HEIGHT_MARK)
        height = byte_at(HEIGHT_BYTE) * 256 + byte_at(HEIGHT_BYTE + 1);
    if (SYS_DEBUG) {
        int ilat = 0, ilon = 0;
        double mlat = 0, mlon = 0;
        split_degrees(lat * LAT_SCALE, 'N', 'S', &ilat, &mlat);
        split_degrees(lon * LON_SCALE, 'E', 'W', &ilon, &mlon);
        log_raw("%i %i %i %i %f %f %02i%.4f %i %f %f %f\n", glen, type, value, gps, lat, lon, ilat, mlat, ilon, mlon,
                bearing, height);
    }
    forward_position(lat * LAT_SCALE, lon * LON_SCALE, bearing);
}

namespace {

// "< 5 s" for time elapsed 0 and so on, as the LIP codes them.
const char* const ELAPSED_TEXTS[] = {"< 5 s", "< 5 min", "< 30 min", "not known"};
const char* const ERROR_TEXTS[] = {"< 2 m",   "< 20 m",    "< 200 m",  "< 2 km",
                                   "< 20 km", "<= 200 km", "> 200 km", "not known"};
constexpr int DETAIL_FIELD_SIZE = 32;

// One SYS_DEBUG line with what the radio said beside its position.
void log_lip_details(const lip_report* r)
{
    char time[DETAIL_FIELD_SIZE] = "none";
    if (r->time_type == LIP_TIME_ELAPSED)
        snprintf(time, sizeof time, "elapsed %s", ELAPSED_TEXTS[r->time_elapsed]);
    else if (r->time_type == LIP_TIME_OF_POSITION)
        snprintf(time, sizeof time, "day %i %02i:%02i:%02i", r->day, r->hour, r->minute, r->second);
    char velocity[DETAIL_FIELD_SIZE] = "not known";
    double kmh = lip_velocity_kmh(r->velocity);
    if (kmh >= 0)
        snprintf(velocity, sizeof velocity, "%.1f km/h", kmh);
    char direction[DETAIL_FIELD_SIZE] = "not known";
    if (r->direction != LIP_ABSENT)
        snprintf(direction, sizeof direction, "%.1f", lip_course_degrees(r));
    char additional[DETAIL_FIELD_SIZE] = "reason not known";
    if (r->additional_type != LIP_ABSENT)
        snprintf(additional, sizeof additional, "%s %i", r->additional_type == 0 ? "reason" : "user data",
                 r->additional);
    log_ts("LIP %s report shape %i %f %f: time %s, position error %s, velocity %s, direction %s, %s\n",
           r->pdu_type == LIP_SHORT_REPORT ? "short" : "long", r->shape, r->latitude, r->longitude, time,
           r->position_error == LIP_ABSENT ? "not known" : ERROR_TEXTS[r->position_error], velocity, direction,
           additional);
}

} // namespace

void handle_lip_position()
{
    lip_report report;
    lip_result result = lip_decode(data, sdslength, &report);
    if (result != LIP_DECODED) {
        log_refusal("LIP refused: %s\n", lip_result_text(result));
        return;
    }
    if (SYS_DEBUG)
        log_lip_details(&report);
    forward_position(report.latitude, report.longitude, lip_course_degrees(&report));
}
