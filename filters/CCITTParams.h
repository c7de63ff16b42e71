#pragma once
// Parameters of the CCITT fax decoder and encoder, as the CCITTFaxDecode dictionary gives
// them. Plain values so that filters/ never sees PDF objects.

namespace qvx::Filters {

struct CCITTParams {
    int k = 0;  // < 0: Group 4; 0: Group 3 one-dimensional; > 0: Group 3 mixed 1-D/2-D
    bool end_of_line = false;
    bool encoded_byte_align = false;
    int columns = 1728;
    int rows = 0;  // 0: until the data or the end-of-block code ends
    bool end_of_block = true;
    bool black_is_1 = false;
    int damaged_rows_before_error = 0;
};

}  // namespace qvx::Filters
