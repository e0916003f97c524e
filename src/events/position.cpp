// Position reports from radios, in both formats radios send ("038013" reports
// and LIP): each is decoded to degrees and course, and one forwarding path
// turns those into a GPS report for the reflector, at most one every few
// seconds whatever the format.
#include <cstdio>
#include <cstring>

#include "config/config.h"
#include "events/handlers.h"
#include "events/session.h"
#include "formats/fix_report.h"
#include "formats/lip.h"
#include "global.h"
#include "net/datagrams.h"
#include "net/reports.h"
#include "util/console.h"
#include "util/text.h"

namespace {

// Reports closer together than this many whole seconds are dropped.
constexpr long long GPS_MIN_INTERVAL_S = 5;

constexpr int POSITION_TEXT_SIZE = 40;
constexpr int MINUTES_TEXT_SIZE = 20;
constexpr int COURSE_TEXT_SIZE = 10;

// Time of the report being handled, seconds on the monotonic clock: a step of
// the wall clock neither drops reports for hours nor lets a burst through.
long long gpsnow;

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
    gpsnow = clock_monotonic_s();
    return gpsnow - lastgps > GPS_MIN_INTERVAL_S;
}

void send_gps_report(const char* sender, char east_west, const char* slon, char north_south, const char* slat,
                     const char* sbearing)
{
    send_report("GPS:", "\n", [&](char* buf, size_t size, const char* time) {
        format_gps_report_hemisphere(buf, size, GATEWAY_CALL, GATEWAY_COMMENT, time, CALL, sender, east_west, slon,
                                     north_south, slat, sbearing);
    });
    lastgps = clock_monotonic_s();
}

// Forwards a decoded position (degrees, negative south and west; course in
// degrees) as a GPS report of degree-and-minute texts, unless the last report
// of either format went out too recently.
void forward_position(const char* sender, double latitude, double longitude, double bearing)
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
        send_gps_report(sender, east_west, slon, north_south, slat, sbearing);
}

// The report's fields beside the position, as SYS_DEBUG shows them.
void log_fix_details(const fix_report* r)
{
    int ilat = 0, ilon = 0;
    double mlat = 0, mlon = 0;
    split_degrees(r->latitude, 'N', 'S', &ilat, &mlat);
    split_degrees(r->longitude, 'E', 'W', &ilon, &mlon);
    log_raw("%i %i %i %i %f %f %02i%.4f %i %f %f %f\n", r->glen, r->type, r->value, r->gps,
            static_cast<double>(r->lat_raw), static_cast<double>(r->lon_raw), ilat, mlat, ilon, mlon, r->bearing,
            r->height);
}

} // namespace

void handle_position(const char* line, const char* sender)
{
    // The report says its own length: the whole line is offered to it.
    fix_report report;
    fix_result result = fix_decode(line, 4 * static_cast<int>(strnlen(line, DATA_SIZE - 1)), &report);
    if (SYS_DEBUG)
        log_ts("GPS-Parameter: glen:%i\n", report.glen);
    if (result == FIX_TOO_SHORT)
        return;
    if (SYS_DEBUG)
        log_ts("GPS-Parameter: type:%i valuie:%i gps:%i\n", report.type, report.value, report.gps);
    if (result != FIX_DECODED)
        return;
    if (SYS_DEBUG)
        log_fix_details(&report);
    forward_position(sender, report.latitude, report.longitude, report.bearing);
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

void handle_lip_position(const char* line, int header_bits, const char* sender)
{
    lip_report report;
    lip_result result = lip_decode(line, header_bits, &report);
    if (result != LIP_DECODED) {
        log_refusal("LIP refused: %s\n", lip_result_text(result));
        return;
    }
    if (SYS_DEBUG)
        log_lip_details(&report);
    forward_position(sender, report.latitude, report.longitude, lip_course_degrees(&report));
}
