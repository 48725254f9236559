#pragma once

// The public video sites: for each of ku6, letv, youku, tudou, sina, sohu and ifeng, a page
// and the site's information services under "/<site>/", and the media files under "/media/".
// Replies name media addresses on the lab that carry the identifier that was asked for.

#include <string>

namespace lab {

void RegisterVideoSitesRole();

// youku's mixed alphabet for a seed (the site's own 68-character shuffle), for the play lists.
std::string YoukuAlphabet(int seed);

}  // namespace lab
