// The media-database statement run through the maker's database library.
#pragma once

bool UpdateMediaDatabase();
