/* Identifiers of the resources in updater.rc; plain #defines so that both the
   resource compiler and the C++ sources can include this header. */
#ifndef UPDATER_RESOURCE_IDS_H
#define UPDATER_RESOURCE_IDS_H

/* Program icon group. */
#define IDI_UPDATER 100

/* Progress window and its two controls. */
#define IDD_PROGRESS 1000
#define IDC_PROGRESS_TEXT 1100
#define IDC_PROGRESS_BAR 1101

/* Message catalogue. */
#define IDS_TITLE 200
#define IDS_NOT_APPLICABLE 202
#define IDS_NEWER_INSTALLED 203
#define IDS_LINK_FUNCTION_RETIRED 204
#define IDS_CLOSE_RECORDER_QUESTION 205
#define IDS_INTERNET_CONTENT_RETIRED 206
#define IDS_NOT_ADMINISTRATOR 1200
#define IDS_ALREADY_RUNNING 1201
#define IDS_NOTHING_TO_UPDATE 1203
#define IDS_UPDATE_SUCCEEDED 1210
#define IDS_UPDATE_CANCELED 1211
#define IDS_UPDATE_FAILED 1213
#define IDS_PROCESSING 1230
#define IDS_SHUTDOWN_HELD 1231

/* SHA-256 digests of the expanded payload, resource type DIGEST. */
#define IDR_PAYLOAD_DIGESTS 1

#endif
