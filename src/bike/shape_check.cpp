// shape_check.cpp -- the start-up check of the generic collision shapes.
//
// Owns: generic_shape_check.  Needs: generic_shapes_digest, which the data
// generator compiles into vk_game_digest from the shapes it wrote; that is
// why this one function lives apart: tools and tests that link the rest of
// vk_bike never pull the symbol in.  Promises: true only when the seven
// shapes found under the data roots are the stock ones.
#include "bike/catalogue.h"

bool generic_shape_check()
{
    return generic_shape_check_digest(generic_shapes_digest);
}
