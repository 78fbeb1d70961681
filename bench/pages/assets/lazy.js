// A small lazy loader of the common kind: pictures of class "lazy" get their
// real address from a data- attribute when they come near the window.
(function () {
  function reveal(img) {
    var src = img.getAttribute('data-src') || img.getAttribute('data-original') ||
              img.getAttribute('data-lazy-src');
    var srcset = img.getAttribute('data-srcset');
    if (srcset) img.srcset = srcset;
    if (src) img.src = src;
    img.classList.remove('lazy');
  }
  var observer = new IntersectionObserver(function (entries) {
    entries.forEach(function (entry) {
      if (entry.isIntersecting) {
        observer.unobserve(entry.target);
        reveal(entry.target);
      }
    });
  }, { rootMargin: '100px' });
  document.querySelectorAll('img.lazy').forEach(function (img) { observer.observe(img); });
})();
