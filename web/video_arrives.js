// The page's last script: the video maker (with mediabunny, the bulk of the
// page's script), which the card's first frame does not wait for. It hands
// itself to the page's core.
import { makeVideo } from './video.js';

window.Module.cardVideoArrived(makeVideo);
